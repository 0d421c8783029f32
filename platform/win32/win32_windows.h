// <windows.h> for the backend's translation units, and the conversions
// between our handle types and Windows' own.
//
// Include it after the platform headers: from here on the Windows names are
// macros and typedefs, so code below it spells Windows types with a leading
// `::` (inside namespace platform, plain DWORD or HKEY would find ours).
// The programs never include this file.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "platform/types.h"

namespace platform::win32 {

inline ::HANDLE toWin(platform::Handle handle) {
  return reinterpret_cast<::HANDLE>(handle);
}

inline platform::Handle fromWin(::HANDLE handle) {
  return reinterpret_cast<platform::Handle>(handle);
}

inline ::HWND toWinWindow(platform::HWND window) {
  return reinterpret_cast<::HWND>(window);
}

// Windows defines the predefined keys as (HKEY)(ULONG_PTR)(LONG)0x8000000n,
// sign-extended on 64-bit Windows, while ours are the plain 32-bit values.
// Opened keys are small handle values and never fall in this range.
inline constexpr std::uint32_t kFirstPredefinedKey = 0x80000000u;
inline constexpr std::uint32_t kLastPredefinedKey = 0x8000000Fu;

inline ::HKEY toWinKey(platform::HKEY key) {
  if (key >= kFirstPredefinedKey && key <= kLastPredefinedKey) {
    const auto value =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(key));
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(value));
  }
  return reinterpret_cast<::HKEY>(key);
}

inline platform::HKEY fromWinKey(::HKEY key) {
  const auto value = reinterpret_cast<std::intptr_t>(key);
  const auto first = static_cast<std::int32_t>(kFirstPredefinedKey);
  const auto last = static_cast<std::int32_t>(kLastPredefinedKey);
  if (value >= first && value <= last) {
    return static_cast<std::uint32_t>(value);
  }
  return static_cast<platform::HKEY>(value);
}

}  // namespace platform::win32
