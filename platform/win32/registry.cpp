// platform::Registry on advapi32's A forms. Key handles cross the seam as
// numbers; the predefined roots are translated because 64-bit Windows spells
// them sign-extended (win32_windows.h).
#include <cstddef>

#include "platform/registry.h"
#include "platform/security.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
// clang-format off
#define NORBIX_REGISTRY_CONSTANTS(X)                                          \
  X(KEY_QUERY_VALUE) X(KEY_SET_VALUE) X(KEY_CREATE_SUB_KEY)                   \
  X(KEY_ENUMERATE_SUB_KEYS) X(KEY_NOTIFY) X(KEY_CREATE_LINK) X(DELETE)        \
  X(READ_CONTROL) X(WRITE_DAC) X(WRITE_OWNER) X(MAXIMUM_ALLOWED) X(KEY_READ)  \
  X(KEY_WRITE) X(KEY_ALL_ACCESS) X(REG_NONE) X(REG_SZ) X(REG_BINARY)          \
  X(REG_DWORD) X(REG_CREATED_NEW_KEY) X(REG_OPENED_EXISTING_KEY)              \
  X(OWNER_SECURITY_INFORMATION) X(GROUP_SECURITY_INFORMATION)                 \
  X(DACL_SECURITY_INFORMATION)
// clang-format on

NORBIX_REGISTRY_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

NORBIX_REGISTRY_CONSTANTS(NORBIX_SAME_VALUE)

#include "win32/win32_layouts.h"

namespace platform::win32 {
namespace {

// Writes an opened key out only on success, as the programs expect of every
// out value. Takes the call's result, not the call: `opened` must be read
// after the call has filled it.
platform::LONG keyResult(::LONG status, ::HKEY opened, platform::HKEY* result) {
  if (status == ERROR_SUCCESS && result != nullptr)
    *result = fromWinKey(opened);
  return status;
}

}  // namespace

platform::LONG Win32Registry::regCreateKeyExA(platform::HKEY root,
                                              const char* subKey,
                                              platform::DWORD access,
                                              platform::HKEY* result,
                                              platform::DWORD* disposition) {
  ::HKEY created = nullptr;
  ::DWORD how = 0;
  const ::LONG status =
      RegCreateKeyExA(toWinKey(root), subKey, 0, nullptr,
                      REG_OPTION_NON_VOLATILE, access, nullptr, &created, &how);
  if (status == ERROR_SUCCESS && disposition != nullptr) *disposition = how;
  return keyResult(status, created, result);
}

platform::LONG Win32Registry::regOpenKeyA(platform::HKEY root,
                                          const char* subKey,
                                          platform::HKEY* result) {
  ::HKEY opened = nullptr;
  const ::LONG status = RegOpenKeyA(toWinKey(root), subKey, &opened);
  return keyResult(status, opened, result);
}

platform::LONG Win32Registry::regOpenKeyExA(platform::HKEY root,
                                            const char* subKey,
                                            platform::DWORD options,
                                            platform::DWORD access,
                                            platform::HKEY* result) {
  ::HKEY opened = nullptr;
  const ::LONG status =
      RegOpenKeyExA(toWinKey(root), subKey, options, access, &opened);
  return keyResult(status, opened, result);
}

platform::LONG Win32Registry::regCloseKey(platform::HKEY key) {
  return RegCloseKey(toWinKey(key));
}

platform::LONG Win32Registry::regQueryValueExA(platform::HKEY key,
                                               const char* name,
                                               platform::DWORD* type,
                                               platform::BYTE* data,
                                               platform::DWORD* size) {
  // A null size stays null: Windows then refuses a data buffer (it could not
  // know its size) instead of our guessing one.
  ::DWORD valueType = 0;
  ::DWORD valueSize = size != nullptr ? *size : 0;
  const ::LONG status =
      RegQueryValueExA(toWinKey(key), name, nullptr, &valueType, data,
                       size != nullptr ? &valueSize : nullptr);
  // ERROR_MORE_DATA still reports the value's type and size.
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != nullptr) *type = valueType;
    if (size != nullptr) *size = valueSize;
  }
  return status;
}

platform::LONG Win32Registry::regSetValueExA(platform::HKEY key,
                                             const char* name,
                                             platform::DWORD type,
                                             const platform::BYTE* data,
                                             platform::DWORD size) {
  return RegSetValueExA(toWinKey(key), name, 0, type, data, size);
}

platform::LONG Win32Registry::regDeleteValueA(platform::HKEY key,
                                              const char* name) {
  return RegDeleteValueA(toWinKey(key), name);
}

platform::LONG Win32Registry::regEnumKeyA(platform::HKEY key,
                                          platform::DWORD index, char* name,
                                          platform::DWORD nameSize) {
  return RegEnumKeyA(toWinKey(key), index, name, nameSize);
}

platform::LONG Win32Registry::regQueryInfoKeyA(platform::HKEY key,
                                               platform::DWORD* subKeys,
                                               platform::DWORD* maxSubKeyLength,
                                               platform::DWORD* values) {
  ::DWORD keyCount = 0;
  ::DWORD longestKey = 0;
  ::DWORD valueCount = 0;
  const ::LONG status = RegQueryInfoKeyA(
      toWinKey(key), nullptr, nullptr, nullptr, &keyCount, &longestKey, nullptr,
      &valueCount, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (subKeys != nullptr) *subKeys = keyCount;
  if (maxSubKeyLength != nullptr) *maxSubKeyLength = longestKey;
  if (values != nullptr) *values = valueCount;
  return status;
}

platform::LONG Win32Registry::regSetKeySecurity(
    platform::HKEY key, platform::DWORD information,
    const platform::SECURITY_DESCRIPTOR* descriptor) {
  // Our descriptor is the absolute form; a self-relative flag would make
  // Windows read its pointers as offsets.
  if (descriptor == nullptr || (descriptor->Control & SE_SELF_RELATIVE) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  // A copy, because the call takes a non-const descriptor.
  ::SECURITY_DESCRIPTOR copy = toWinDescriptor(*descriptor);
  return RegSetKeySecurity(toWinKey(key), information, &copy);
}

platform::LONG Win32Registry::regDeleteKeyA(platform::HKEY root,
                                            const char* subKey) {
  return RegDeleteKeyA(toWinKey(root), subKey);
}

}  // namespace platform::win32
