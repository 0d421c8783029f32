// Compile-time proof that a platform constant has the value <windows.h>
// gives it, for the values the backend passes to Windows unchanged (access
// masks, flags, error codes, result codes).
//
// <windows.h> turns most of these names into macros, so the platform value
// is captured under another name before the include and compared after it:
//
//   #define MY_CONSTANTS(X) X(GENERIC_READ) X(OPEN_EXISTING)
//   namespace { MY_CONSTANTS(NORBIX_CAPTURE) }   // before <windows.h>
//   #include "win32/win32_windows.h"
//   MY_CONSTANTS(NORBIX_SAME_VALUE)              // after it
//
// This header itself must not include <windows.h>.
#pragma once

#define NORBIX_CAPTURE(name) constexpr auto ours_##name = platform::name;

#define NORBIX_SAME_VALUE(name)        \
  static_assert(ours_##name == (name), \
                "platform::" #name " differs from the Windows value");
