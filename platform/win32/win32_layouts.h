// Proof that the security structures of platform/security.h have Windows'
// own layout, on both the 32-bit and the 64-bit build. Only what is proven
// here is handed to Windows by reinterpret_cast: the access-list header (its
// entries follow it in the caller's buffer), the token-group and privilege
// lists (variable length, with pointers into the same buffer). Fixed-size
// structures are copied member by member instead.
//
// Include after platform/security.h and win32_windows.h.
#pragma once

#include <cstddef>

#define NORBIX_SAME_LAYOUT(ours, theirs, member)                        \
  static_assert(                                                        \
      offsetof(platform::ours, member) == offsetof(::theirs, member) && \
          sizeof(platform::ours::member) == sizeof(::theirs::member),   \
      #ours "::" #member " is not where Windows has it");

static_assert(sizeof(platform::ACL) == sizeof(::ACL));
NORBIX_SAME_LAYOUT(ACL, ACL, AclRevision)
NORBIX_SAME_LAYOUT(ACL, ACL, Sbz1)
NORBIX_SAME_LAYOUT(ACL, ACL, AclSize)
NORBIX_SAME_LAYOUT(ACL, ACL, AceCount)
NORBIX_SAME_LAYOUT(ACL, ACL, Sbz2)

static_assert(sizeof(platform::ACE_HEADER) == sizeof(::ACE_HEADER));
NORBIX_SAME_LAYOUT(ACE_HEADER, ACE_HEADER, AceType)
NORBIX_SAME_LAYOUT(ACE_HEADER, ACE_HEADER, AceFlags)
NORBIX_SAME_LAYOUT(ACE_HEADER, ACE_HEADER, AceSize)

static_assert(sizeof(platform::ACCESS_ALLOWED_ACE) ==
              sizeof(::ACCESS_ALLOWED_ACE));
NORBIX_SAME_LAYOUT(ACCESS_ALLOWED_ACE, ACCESS_ALLOWED_ACE, Header)
NORBIX_SAME_LAYOUT(ACCESS_ALLOWED_ACE, ACCESS_ALLOWED_ACE, Mask)
NORBIX_SAME_LAYOUT(ACCESS_ALLOWED_ACE, ACCESS_ALLOWED_ACE, SidStart)

static_assert(sizeof(platform::SECURITY_DESCRIPTOR) ==
              sizeof(::SECURITY_DESCRIPTOR));
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Revision)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Sbz1)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Control)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Owner)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Group)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Sacl)
NORBIX_SAME_LAYOUT(SECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR, Dacl)

static_assert(sizeof(platform::SID_IDENTIFIER_AUTHORITY) ==
              sizeof(::SID_IDENTIFIER_AUTHORITY));

static_assert(sizeof(platform::SID_AND_ATTRIBUTES) ==
              sizeof(::SID_AND_ATTRIBUTES));
NORBIX_SAME_LAYOUT(SID_AND_ATTRIBUTES, SID_AND_ATTRIBUTES, Sid)
NORBIX_SAME_LAYOUT(SID_AND_ATTRIBUTES, SID_AND_ATTRIBUTES, Attributes)

static_assert(sizeof(platform::TOKEN_GROUPS) == sizeof(::TOKEN_GROUPS));
NORBIX_SAME_LAYOUT(TOKEN_GROUPS, TOKEN_GROUPS, GroupCount)
NORBIX_SAME_LAYOUT(TOKEN_GROUPS, TOKEN_GROUPS, Groups)

static_assert(sizeof(platform::LUID) == sizeof(::LUID));
NORBIX_SAME_LAYOUT(LUID, LUID, LowPart)
NORBIX_SAME_LAYOUT(LUID, LUID, HighPart)

static_assert(sizeof(platform::LUID_AND_ATTRIBUTES) ==
              sizeof(::LUID_AND_ATTRIBUTES));
NORBIX_SAME_LAYOUT(LUID_AND_ATTRIBUTES, LUID_AND_ATTRIBUTES, Luid)
NORBIX_SAME_LAYOUT(LUID_AND_ATTRIBUTES, LUID_AND_ATTRIBUTES, Attributes)

static_assert(sizeof(platform::TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES));
NORBIX_SAME_LAYOUT(TOKEN_PRIVILEGES, TOKEN_PRIVILEGES, PrivilegeCount)
NORBIX_SAME_LAYOUT(TOKEN_PRIVILEGES, TOKEN_PRIVILEGES, Privileges)

#undef NORBIX_SAME_LAYOUT

namespace platform::win32 {

// A descriptor in Windows' own type, for calls that take or fill one. The
// owner, group and access lists it points to are handed on as they are:
// their byte layout is Windows'.
inline ::SECURITY_DESCRIPTOR toWinDescriptor(
    const platform::SECURITY_DESCRIPTOR& ours) {
  ::SECURITY_DESCRIPTOR theirs{};
  theirs.Revision = ours.Revision;
  theirs.Sbz1 = ours.Sbz1;
  theirs.Control = ours.Control;
  theirs.Owner = ours.Owner;
  theirs.Group = ours.Group;
  theirs.Sacl = reinterpret_cast<::PACL>(ours.Sacl);
  theirs.Dacl = reinterpret_cast<::PACL>(ours.Dacl);
  return theirs;
}

inline void fromWinDescriptor(const ::SECURITY_DESCRIPTOR& theirs,
                              platform::SECURITY_DESCRIPTOR* ours) {
  ours->Revision = theirs.Revision;
  ours->Sbz1 = theirs.Sbz1;
  ours->Control = theirs.Control;
  ours->Owner = theirs.Owner;
  ours->Group = theirs.Group;
  ours->Sacl = reinterpret_cast<platform::ACL*>(theirs.Sacl);
  ours->Dacl = reinterpret_cast<platform::ACL*>(theirs.Dacl);
}

}  // namespace platform::win32
