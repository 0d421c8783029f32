// Security services: access tokens and their groups, SIDs, access lists and
// security descriptors in the byte layouts Windows uses, privileges.
//
// The layouts are Windows' own so that the win32 backend can pass them
// through and the simulated registry can check keys against the same bytes.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace platform {

using PSID = void*;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};

// ACL header; entries follow it in the same buffer.
struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
static_assert(sizeof(ACL) == 8, "ACL header layout");

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};

// ACCESS_ALLOWED_ACE: header, mask, then the SID starting at SidStart.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  DWORD Mask;
  DWORD SidStart;
};
static_assert(sizeof(ACCESS_ALLOWED_ACE) == 12, "ACE layout");

// Absolute-format security descriptor.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  PSID Owner;
  PSID Group;
  ACL* Sacl;
  ACL* Dacl;
};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};

// TOKEN_GROUPS: GroupCount entries follow; the SIDs they point to lie in the
// same buffer after them.
struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
};

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

inline constexpr BYTE ACL_REVISION = 2;
inline constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
inline constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
inline constexpr WORD SE_DACL_PRESENT = 0x0004;
inline constexpr WORD SE_DACL_DEFAULTED = 0x0008;
inline constexpr DWORD OWNER_SECURITY_INFORMATION = 1;
inline constexpr DWORD GROUP_SECURITY_INFORMATION = 2;
inline constexpr DWORD DACL_SECURITY_INFORMATION = 4;

inline constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;
inline constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;
inline constexpr DWORD SECURITY_LOCAL_SYSTEM_RID = 18;
inline constexpr DWORD SECURITY_WORLD_RID = 0;

inline constexpr DWORD SE_GROUP_MANDATORY = 0x1;
inline constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x2;
inline constexpr DWORD SE_GROUP_ENABLED = 0x4;
inline constexpr DWORD SE_GROUP_OWNER = 0x8;
inline constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x10;

inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
inline constexpr int TokenGroups = 2;
inline constexpr int TokenPrivileges = 3;

class Security {
 public:
  virtual ~Security() = default;

  // Tokens. openThreadToken fails with ERROR_NO_TOKEN when the thread does
  // not impersonate.
  virtual BOOL openProcessToken(DWORD access, Handle* token) = 0;
  virtual BOOL openThreadToken(DWORD access, BOOL openAsSelf,
                               Handle* token) = 0;
  // Writes TOKEN_GROUPS for class TokenGroups; with too small a buffer fails
  // with ERROR_INSUFFICIENT_BUFFER and sets *returnLength to the size needed.
  virtual BOOL getTokenInformation(Handle token, int informationClass,
                                   void* buffer, DWORD length,
                                   DWORD* returnLength) = 0;
  virtual BOOL lookupPrivilegeValueA(const char* system, const char* name,
                                     LUID* luid) = 0;
  virtual BOOL adjustTokenPrivileges(Handle token, BOOL disableAll,
                                     const TOKEN_PRIVILEGES* privileges) = 0;

  // SIDs, access lists and descriptors.
  virtual BOOL allocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* auth,
                                        BYTE subAuthorityCount, DWORD sub0,
                                        DWORD sub1, DWORD sub2, DWORD sub3,
                                        DWORD sub4, DWORD sub5, DWORD sub6,
                                        DWORD sub7, PSID* sid) = 0;
  virtual void freeSid(PSID sid) = 0;
  virtual BOOL equalSid(PSID a, PSID b) = 0;
  virtual DWORD getLengthSid(PSID sid) = 0;
  virtual BOOL initializeAcl(ACL* acl, DWORD length, DWORD revision) = 0;
  virtual BOOL addAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask,
                                   PSID sid) = 0;
  virtual BOOL initializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor,
                                            DWORD revision) = 0;
  virtual BOOL setSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor,
                                         BOOL present, ACL* dacl,
                                         BOOL defaulted) = 0;

  // The process heap (the access list of a descriptor lives there).
  virtual void* heapAlloc(std::size_t bytes) = 0;
  virtual BOOL heapFree(void* block) = 0;
};

}  // namespace platform
