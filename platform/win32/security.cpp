// platform::Security on advapi32 and the process heap. Windows 98/Me have
// these functions as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED; they
// are linked directly all the same, and the callers see that failure.
#include <cstddef>

#include "platform/security.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
// clang-format off
#define NORBIX_SECURITY_CONSTANTS(X)                                          \
  X(ACL_REVISION) X(SECURITY_DESCRIPTOR_REVISION) X(ACCESS_ALLOWED_ACE_TYPE)  \
  X(SE_DACL_PRESENT) X(SE_DACL_DEFAULTED) X(OWNER_SECURITY_INFORMATION)       \
  X(GROUP_SECURITY_INFORMATION) X(DACL_SECURITY_INFORMATION)                  \
  X(SECURITY_BUILTIN_DOMAIN_RID) X(DOMAIN_ALIAS_RID_ADMINS)                   \
  X(DOMAIN_ALIAS_RID_USERS) X(SECURITY_LOCAL_SYSTEM_RID) X(SECURITY_WORLD_RID)\
  X(SE_GROUP_MANDATORY) X(SE_GROUP_ENABLED_BY_DEFAULT) X(SE_GROUP_ENABLED)    \
  X(SE_GROUP_OWNER) X(SE_GROUP_USE_FOR_DENY_ONLY) X(TOKEN_QUERY)              \
  X(TOKEN_ADJUST_PRIVILEGES) X(SE_PRIVILEGE_ENABLED)
// clang-format on

NORBIX_SECURITY_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

#include "win32/win32_layouts.h"

NORBIX_SECURITY_CONSTANTS(NORBIX_SAME_VALUE)

// Enumerators in <windows.h>, not macros, so they compare directly.
static_assert(platform::TokenGroups == ::TokenGroups);
static_assert(platform::TokenPrivileges == ::TokenPrivileges);

namespace platform::win32 {
namespace {

// The call must have run before `opened` is read, so callers pass its result
// in, not the call itself (argument order is unspecified).
platform::BOOL tokenResult(::BOOL ok, ::HANDLE opened,
                           platform::Handle* token) {
  if (ok && token != nullptr) *token = fromWin(opened);
  return ok;
}

}  // namespace

platform::BOOL Win32Security::openProcessToken(platform::DWORD access,
                                               platform::Handle* token) {
  ::HANDLE opened = nullptr;
  const ::BOOL ok = OpenProcessToken(GetCurrentProcess(), access, &opened);
  return tokenResult(ok, opened, token);
}

platform::BOOL Win32Security::openThreadToken(platform::DWORD access,
                                              platform::BOOL openAsSelf,
                                              platform::Handle* token) {
  ::HANDLE opened = nullptr;
  const ::BOOL ok =
      OpenThreadToken(GetCurrentThread(), access, openAsSelf, &opened);
  return tokenResult(ok, opened, token);
}

platform::BOOL Win32Security::getTokenInformation(
    platform::Handle token, int informationClass, void* buffer,
    platform::DWORD length, platform::DWORD* returnLength) {
  ::DWORD needed = 0;
  if (GetTokenInformation(
          toWin(token),
          static_cast<::TOKEN_INFORMATION_CLASS>(informationClass), buffer,
          length, &needed)) {
    if (returnLength != nullptr) *returnLength = needed;
    return TRUE;
  }
  // The size needed is the point of the first, too-small call.
  const ::DWORD error = GetLastError();
  if (error == ERROR_INSUFFICIENT_BUFFER && returnLength != nullptr) {
    *returnLength = needed;
  }
  SetLastError(error);
  return FALSE;
}

platform::BOOL Win32Security::lookupPrivilegeValueA(const char* system,
                                                    const char* name,
                                                    platform::LUID* luid) {
  ::LUID found{};
  if (!LookupPrivilegeValueA(system, name, &found)) return FALSE;
  if (luid != nullptr) {
    luid->LowPart = found.LowPart;
    luid->HighPart = found.HighPart;
  }
  return TRUE;
}

platform::BOOL Win32Security::adjustTokenPrivileges(
    platform::Handle token, platform::BOOL disableAll,
    const platform::TOKEN_PRIVILEGES* privileges) {
  // Passed through: the list may hold more entries than the declared one,
  // and its layout is proven equal in win32_layouts.h. Windows only reads it.
  auto* state = const_cast<::TOKEN_PRIVILEGES*>(
      reinterpret_cast<const ::TOKEN_PRIVILEGES*>(privileges));
  return AdjustTokenPrivileges(toWin(token), disableAll, state, 0, nullptr,
                               nullptr);
}

platform::BOOL Win32Security::allocateAndInitializeSid(
    const platform::SID_IDENTIFIER_AUTHORITY* auth,
    platform::BYTE subAuthorityCount, platform::DWORD sub0,
    platform::DWORD sub1, platform::DWORD sub2, platform::DWORD sub3,
    platform::DWORD sub4, platform::DWORD sub5, platform::DWORD sub6,
    platform::DWORD sub7, platform::PSID* sid) {
  if (auth == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SID_IDENTIFIER_AUTHORITY authority{};
  for (std::size_t i = 0; i < sizeof authority.Value; ++i) {
    authority.Value[i] = auth->Value[i];
  }
  ::PSID created = nullptr;
  if (!AllocateAndInitializeSid(&authority, subAuthorityCount, sub0, sub1, sub2,
                                sub3, sub4, sub5, sub6, sub7, &created)) {
    return FALSE;
  }
  if (sid != nullptr) {
    *sid = created;
  } else {
    FreeSid(created);
  }
  return TRUE;
}

void Win32Security::freeSid(platform::PSID sid) {
  if (sid != nullptr) FreeSid(sid);
}

platform::BOOL Win32Security::equalSid(platform::PSID a, platform::PSID b) {
  return EqualSid(a, b);
}

platform::DWORD Win32Security::getLengthSid(platform::PSID sid) {
  return GetLengthSid(sid);
}

platform::BOOL Win32Security::initializeAcl(platform::ACL* acl,
                                            platform::DWORD length,
                                            platform::DWORD revision) {
  // The entries go into the caller's buffer after the header.
  return InitializeAcl(reinterpret_cast<::PACL>(acl), length, revision);
}

platform::BOOL Win32Security::addAccessAllowedAce(platform::ACL* acl,
                                                  platform::DWORD revision,
                                                  platform::DWORD mask,
                                                  platform::PSID sid) {
  return AddAccessAllowedAce(reinterpret_cast<::PACL>(acl), revision, mask,
                             sid);
}

platform::BOOL Win32Security::initializeSecurityDescriptor(
    platform::SECURITY_DESCRIPTOR* descriptor, platform::DWORD revision) {
  if (descriptor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Filled in Windows' own type, so nothing of the caller's (possibly
  // uninitialised) structure is read.
  ::SECURITY_DESCRIPTOR filled{};
  if (!InitializeSecurityDescriptor(&filled, revision)) return FALSE;
  fromWinDescriptor(filled, descriptor);
  return TRUE;
}

platform::BOOL Win32Security::setSecurityDescriptorDacl(
    platform::SECURITY_DESCRIPTOR* descriptor, platform::BOOL present,
    platform::ACL* dacl, platform::BOOL defaulted) {
  if (descriptor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SECURITY_DESCRIPTOR changed = toWinDescriptor(*descriptor);
  if (!SetSecurityDescriptorDacl(&changed, present,
                                 reinterpret_cast<::PACL>(dacl), defaulted)) {
    return FALSE;
  }
  fromWinDescriptor(changed, descriptor);
  return TRUE;
}

void* Win32Security::heapAlloc(std::size_t bytes) {
  return HeapAlloc(GetProcessHeap(), 0, bytes);
}

platform::BOOL Win32Security::heapFree(void* block) {
  // Freeing nothing succeeds, as delete does; Windows 9x is not specified
  // for a null block.
  if (block == nullptr) return TRUE;
  return HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace platform::win32
