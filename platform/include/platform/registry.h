// Registry services (advapi32, A forms). Results are Win32 error codes
// (ERROR_SUCCESS on success), as the registry API returns them.
//
// Delete semantics differ by family and the programs rely on both: on
// Windows 98/Me RegDeleteKeyA removes the whole subtree, on NT it fails while
// the key has subkeys.
#pragma once

#include "platform/security.h"
#include "platform/types.h"

namespace platform {

// Access rights.
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_NOTIFY = 0x0010;
inline constexpr DWORD KEY_CREATE_LINK = 0x0020;
inline constexpr DWORD DELETE = 0x00010000u;
inline constexpr DWORD READ_CONTROL = 0x00020000u;
inline constexpr DWORD WRITE_DAC = 0x00040000u;
inline constexpr DWORD WRITE_OWNER = 0x00080000u;
inline constexpr DWORD MAXIMUM_ALLOWED = 0x02000000u;
inline constexpr DWORD KEY_READ = 0x00020019u;
inline constexpr DWORD KEY_WRITE = 0x00020006u;
inline constexpr DWORD KEY_ALL_ACCESS = 0x000F003Fu;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

class Registry {
 public:
  virtual ~Registry() = default;

  virtual LONG regCreateKeyExA(HKEY root, const char* subKey, DWORD access,
                               HKEY* result, DWORD* disposition) = 0;
  // RegOpenKeyA: opens with the most access the caller may have.
  virtual LONG regOpenKeyA(HKEY root, const char* subKey, HKEY* result) = 0;
  virtual LONG regOpenKeyExA(HKEY root, const char* subKey, DWORD options,
                             DWORD access, HKEY* result) = 0;
  virtual LONG regCloseKey(HKEY key) = 0;

  // size: in, the buffer size; out, the value's size (also when the buffer
  // is too small, which gives ERROR_MORE_DATA). data may be null to ask.
  virtual LONG regQueryValueExA(HKEY key, const char* name, DWORD* type,
                                BYTE* data, DWORD* size) = 0;
  virtual LONG regSetValueExA(HKEY key, const char* name, DWORD type,
                              const BYTE* data, DWORD size) = 0;
  virtual LONG regDeleteValueA(HKEY key, const char* name) = 0;

  // Subkeys are enumerated in the order the registry keeps them (by name,
  // without regard to case).
  virtual LONG regEnumKeyA(HKEY key, DWORD index, char* name,
                           DWORD nameSize) = 0;
  // Any out pointer may be null.
  virtual LONG regQueryInfoKeyA(HKEY key, DWORD* subKeys,
                                DWORD* maxSubKeyLength, DWORD* values) = 0;

  // Replaces the parts of the key's descriptor that `information` names
  // (DACL_SECURITY_INFORMATION, OWNER_SECURITY_INFORMATION). The handle needs
  // WRITE_DAC (WRITE_OWNER for the owner).
  virtual LONG regSetKeySecurity(HKEY key, DWORD information,
                                 const SECURITY_DESCRIPTOR* descriptor) = 0;

  virtual LONG regDeleteKeyA(HKEY root, const char* subKey) = 0;
};

}  // namespace platform
