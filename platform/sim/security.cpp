#include "security.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "pc.h"
#include "process.h"
#include "registry.h"

namespace sim {

using platform::BOOL;
using platform::BYTE;
using platform::DWORD;
using platform::WORD;

namespace {

constexpr BYTE kSidRevision = 1;
constexpr std::size_t kSidMaxSubAuthorities = 15;
constexpr std::size_t kSidHeader = 8;  // revision, count, authority
constexpr DWORD kSeShutdownLuid = 19;
constexpr DWORD kAdminAttributes = platform::SE_GROUP_MANDATORY |
                                   platform::SE_GROUP_ENABLED_BY_DEFAULT |
                                   platform::SE_GROUP_ENABLED |
                                   platform::SE_GROUP_OWNER;
constexpr DWORD kGroupAttributes = platform::SE_GROUP_MANDATORY |
                                   platform::SE_GROUP_ENABLED_BY_DEFAULT |
                                   platform::SE_GROUP_ENABLED;

// The privileges every user's token holds on the simulated PC, disabled as
// Windows hands them out. Only the shutdown privilege is ever asked for.
struct KnownPrivilege {
  const char* name;
  DWORD luid;
};
constexpr KnownPrivilege kPrivileges[] = {
    {"SeShutdownPrivilege", kSeShutdownLuid},
};

bool sameNameNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) !=
        std::toupper(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

void putDword(BYTE* at, DWORD v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(v >> (8 * i));
}

DWORD getDword(const BYTE* at) {
  return DWORD{at[0]} | DWORD{at[1]} << 8 | DWORD{at[2]} << 16 |
         DWORD{at[3]} << 24;
}

void putWord(BYTE* at, WORD v) {
  at[0] = static_cast<BYTE>(v);
  at[1] = static_cast<BYTE>(v >> 8);
}

WORD getWord(const BYTE* at) {
  return static_cast<WORD>(at[0] | at[1] << 8);
}

bool aclRevisionValid(DWORD revision) { return revision >= 2 && revision <= 4; }

}  // namespace

// ---------------------------------------------------------------- SIDs

namespace sids {

SidBytes make(BYTE authority, const std::vector<DWORD>& subAuthorities) {
  SidBytes sid(kSidHeader + 4 * subAuthorities.size());
  sid[0] = kSidRevision;
  sid[1] = static_cast<BYTE>(subAuthorities.size());
  sid[7] = authority;  // the authority is big-endian; all ours fit one byte
  for (std::size_t i = 0; i < subAuthorities.size(); ++i)
    putDword(&sid[kSidHeader + 4 * i], subAuthorities[i]);
  return sid;
}

SidBytes everyone() { return make(1, {platform::SECURITY_WORLD_RID}); }
SidBytes system() { return make(5, {platform::SECURITY_LOCAL_SYSTEM_RID}); }
SidBytes administrators() {
  return make(5, {platform::SECURITY_BUILTIN_DOMAIN_RID,
                  platform::DOMAIN_ALIAS_RID_ADMINS});
}
SidBytes users() {
  return make(5, {platform::SECURITY_BUILTIN_DOMAIN_RID,
                  platform::DOMAIN_ALIAS_RID_USERS});
}
SidBytes authenticatedUsers() { return make(5, {11}); }
SidBytes interactiveUser() {
  return make(5, {21, 2052111302u, 1177238915u, 1957994488u, 1000});
}

std::size_t validLength(const void* sid) {
  if (!sid) return 0;
  const auto* b = static_cast<const BYTE*>(sid);
  if (b[0] != kSidRevision || b[1] > kSidMaxSubAuthorities) return 0;
  return kSidHeader + 4u * b[1];
}

SidBytes copy(const void* sid) {
  std::size_t n = validLength(sid);
  const auto* b = static_cast<const BYTE*>(sid);
  return n ? SidBytes(b, b + n) : SidBytes{};
}

std::string toString(const SidBytes& sid) {
  if (sid.size() < kSidHeader || validLength(sid.data()) != sid.size())
    return "S-?";
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
  std::string text = "S-1-" + std::to_string(authority);
  for (std::size_t i = kSidHeader; i < sid.size(); i += 4)
    text += "-" + std::to_string(getDword(&sid[i]));
  return text;
}

}  // namespace sids

// ---------------------------------------------------------------- tokens

bool TokenIdentity::grantsAs(const SidBytes& sid) const {
  if (sid == user) return true;
  for (const TokenGroup& g : groups) {
    if (g.sid != sid) continue;
    if (g.attributes & platform::SE_GROUP_USE_FOR_DENY_ONLY) return false;
    return (g.attributes & platform::SE_GROUP_ENABLED) != 0;
  }
  return false;
}

bool TokenIdentity::deniedAs(const SidBytes& sid) const {
  if (sid == user) return true;
  for (const TokenGroup& g : groups) {
    if (g.sid != sid) continue;
    return (g.attributes & (platform::SE_GROUP_ENABLED |
                            platform::SE_GROUP_USE_FOR_DENY_ONLY)) != 0;
  }
  return false;
}

bool TokenIdentity::mayOwnAs(const SidBytes& sid) const {
  if (sid == user) return true;
  for (const TokenGroup& g : groups) {
    if (g.sid == sid)
      return (g.attributes & platform::SE_GROUP_OWNER) && grantsAs(sid);
  }
  return false;
}

bool TokenIdentity::administrator() const {
  return grantsAs(sids::administrators());
}

TokenIdentity userToken(bool administrator, bool adminDenyOnly) {
  TokenIdentity t;
  t.user = sids::interactiveUser();
  t.groups.push_back({sids::everyone(), kGroupAttributes});
  if (administrator) {
    // A filtered token keeps the group for deny entries only and grants
    // nothing through it, so such a user cannot take over device keys.
    t.groups.push_back({sids::administrators(),
                        adminDenyOnly ? platform::SE_GROUP_USE_FOR_DENY_ONLY
                                      : kAdminAttributes});
  }
  t.groups.push_back({sids::users(), kGroupAttributes});
  t.groups.push_back({sids::authenticatedUsers(), kGroupAttributes});
  t.defaultOwner = t.administrator() ? sids::administrators() : t.user;
  return t;
}

TokenIdentity tokenFor(const PcConfig& config) {
  return userToken(config.administrator, config.adminDenyOnly);
}

// ---------------------------------------------------------------- SimSecurity

SimSecurity::SimSecurity(Process& process)
    : SimSecurity(SecurityContext{
          process.pc().registry(), process.handles(),
          [&process]() -> DWORD& { return process.lastError(); },
          tokenFor(process.pc().config()), process.number(),
          process.imageName()}) {}

SimSecurity::SimSecurity(SecurityContext context)
    : context_(std::move(context)), processToken_(std::make_shared<TokenState>()) {
  processToken_->identity = context_.token;
  for (const KnownPrivilege& p : kPrivileges)
    processToken_->privileges.push_back({p.name, p.luid, false});
}

SimSecurity::~SimSecurity() {
  // The process heap goes with the process, whatever the program left.
  for (void* block : heapBlocks_) std::free(block);
  for (void* block : sidBlocks_) std::free(block);
}

BOOL SimSecurity::fail(DWORD error) {
  context_.lastError() = error;
  return 0;
}

std::shared_ptr<TokenObject> SimSecurity::token(platform::Handle handle,
                                                DWORD access) {
  auto object = context_.handles.get<TokenObject>(handle);
  if (!object) {
    fail(platform::ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!object->allows(access)) {
    fail(platform::ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return object;
}

BOOL SimSecurity::openProcessToken(DWORD access, platform::Handle* token) {
  if (!context_.store.nt()) return fail(platform::ERROR_CALL_NOT_IMPLEMENTED);
  if (!token) return fail(platform::ERROR_INVALID_PARAMETER);
  if (access & platform::MAXIMUM_ALLOWED) access = TOKEN_ALL_ACCESS;
  *token = context_.handles.add(
      std::make_shared<TokenObject>(processToken_, access));
  return 1;
}

BOOL SimSecurity::openThreadToken(DWORD, BOOL, platform::Handle* token) {
  if (!context_.store.nt()) return fail(platform::ERROR_CALL_NOT_IMPLEMENTED);
  if (!token) return fail(platform::ERROR_INVALID_PARAMETER);
  // No simulated thread ever impersonates.
  return fail(platform::ERROR_NO_TOKEN);
}

BOOL SimSecurity::getTokenInformation(platform::Handle handle,
                                      int informationClass, void* buffer,
                                      DWORD length, DWORD* returnLength) {
  if (!context_.store.nt()) return fail(platform::ERROR_CALL_NOT_IMPLEMENTED);
  if (!token(handle, platform::TOKEN_QUERY)) return 0;
  if (!returnLength) return fail(platform::ERROR_INVALID_PARAMETER);
  if (informationClass == platform::TokenGroups)
    return writeTokenGroups(buffer, length, returnLength);
  if (informationClass == platform::TokenPrivileges)
    return writeTokenPrivileges(buffer, length, returnLength);
  return fail(platform::ERROR_INVALID_PARAMETER);
}

// TOKEN_GROUPS as Windows lays it out: the count, the SID_AND_ATTRIBUTES
// array, then the SIDs themselves, each entry pointing into the same buffer.
// Written with memcpy so that a caller's byte buffer need not be aligned.
BOOL SimSecurity::writeTokenGroups(void* buffer, DWORD length,
                                   DWORD* returnLength) {
  const auto& groups = processToken_->identity.groups;
  const std::size_t arrayAt = offsetof(platform::TOKEN_GROUPS, Groups);
  const std::size_t sidsAt =
      arrayAt + groups.size() * sizeof(platform::SID_AND_ATTRIBUTES);
  std::size_t needed = sidsAt;
  for (const TokenGroup& g : groups) needed += g.sid.size();
  *returnLength = static_cast<DWORD>(needed);
  if (!buffer || length < needed)
    return fail(platform::ERROR_INSUFFICIENT_BUFFER);

  auto* out = static_cast<BYTE*>(buffer);
  const DWORD count = static_cast<DWORD>(groups.size());
  std::memcpy(out + offsetof(platform::TOKEN_GROUPS, GroupCount), &count,
              sizeof count);
  std::size_t sidAt = sidsAt;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    std::memcpy(out + sidAt, groups[i].sid.data(), groups[i].sid.size());
    platform::SID_AND_ATTRIBUTES entry{};
    entry.Sid = out + sidAt;
    entry.Attributes = groups[i].attributes;
    std::memcpy(out + arrayAt + i * sizeof entry, &entry, sizeof entry);
    sidAt += groups[i].sid.size();
  }
  return 1;
}

BOOL SimSecurity::writeTokenPrivileges(void* buffer, DWORD length,
                                       DWORD* returnLength) {
  const auto& privileges = processToken_->privileges;
  const std::size_t arrayAt = offsetof(platform::TOKEN_PRIVILEGES, Privileges);
  const std::size_t needed =
      arrayAt + privileges.size() * sizeof(platform::LUID_AND_ATTRIBUTES);
  *returnLength = static_cast<DWORD>(needed);
  if (!buffer || length < needed)
    return fail(platform::ERROR_INSUFFICIENT_BUFFER);

  auto* out = static_cast<BYTE*>(buffer);
  const DWORD count = static_cast<DWORD>(privileges.size());
  std::memcpy(out, &count, sizeof count);
  for (std::size_t i = 0; i < privileges.size(); ++i) {
    platform::LUID_AND_ATTRIBUTES entry{};
    entry.Luid.LowPart = privileges[i].luid;
    entry.Attributes =
        privileges[i].enabled ? platform::SE_PRIVILEGE_ENABLED : 0;
    std::memcpy(out + arrayAt + i * sizeof entry, &entry, sizeof entry);
  }
  return 1;
}

BOOL SimSecurity::lookupPrivilegeValueA(const char* system, const char* name,
                                        platform::LUID* luid) {
  if (!context_.store.nt()) return fail(platform::ERROR_CALL_NOT_IMPLEMENTED);
  if (!name || !luid) return fail(platform::ERROR_INVALID_PARAMETER);
  // Only the local machine is simulated.
  if (system && *system) return fail(platform::ERROR_INVALID_PARAMETER);
  for (const KnownPrivilege& p : kPrivileges) {
    if (sameNameNoCase(p.name, name)) {
      luid->LowPart = p.luid;
      luid->HighPart = 0;
      return 1;
    }
  }
  return fail(platform::ERROR_NO_SUCH_PRIVILEGE);
}

BOOL SimSecurity::adjustTokenPrivileges(
    platform::Handle handle, BOOL disableAll,
    const platform::TOKEN_PRIVILEGES* privileges) {
  if (!context_.store.nt()) return fail(platform::ERROR_CALL_NOT_IMPLEMENTED);
  auto object = token(handle, platform::TOKEN_ADJUST_PRIVILEGES);
  if (!object) return 0;
  if (!disableAll && !privileges) return fail(platform::ERROR_INVALID_PARAMETER);

  auto change = [&](TokenPrivilege& held, bool enable) {
    if (held.enabled == enable) return;
    held.enabled = enable;
    context_.store.recordPrivilege(
        {context_.processNumber, context_.imageName, held.name, enable});
  };
  std::vector<TokenPrivilege>& held = object->state().privileges;
  if (disableAll) {
    for (TokenPrivilege& p : held) change(p, false);
    context_.lastError() = platform::ERROR_SUCCESS;
    return 1;
  }

  // The entries follow the count; the caller sized the block for them.
  const auto* entries = reinterpret_cast<const platform::LUID_AND_ATTRIBUTES*>(
      reinterpret_cast<const BYTE*>(privileges) +
      offsetof(platform::TOKEN_PRIVILEGES, Privileges));
  bool allAssigned = true;
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const platform::LUID_AND_ATTRIBUTES entry = entries[i];
    TokenPrivilege* match = nullptr;
    for (TokenPrivilege& p : held) {
      if (entry.Luid.HighPart == 0 && entry.Luid.LowPart == p.luid) match = &p;
    }
    if (!match) {
      allAssigned = false;
      continue;
    }
    change(*match, (entry.Attributes & platform::SE_PRIVILEGE_ENABLED) != 0);
  }
  // Windows reports success either way and tells the difference through
  // the last error.
  context_.lastError() = allAssigned ? platform::ERROR_SUCCESS
                                     : platform::ERROR_NOT_ALL_ASSIGNED;
  return 1;
}

// ---------------------------------------------------------------- SIDs, ACLs

BOOL SimSecurity::allocateAndInitializeSid(
    const platform::SID_IDENTIFIER_AUTHORITY* auth, BYTE subAuthorityCount,
    DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
    DWORD sub6, DWORD sub7, platform::PSID* sid) {
  if (!auth || !sid) return fail(platform::ERROR_INVALID_PARAMETER);
  if (subAuthorityCount > 8) return fail(ERROR_INVALID_SID);
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  const std::size_t length = kSidHeader + 4u * subAuthorityCount;
  auto* block = static_cast<BYTE*>(std::malloc(length));
  if (!block) return fail(platform::ERROR_NOT_ENOUGH_MEMORY);
  block[0] = kSidRevision;
  block[1] = subAuthorityCount;
  std::memcpy(block + 2, auth->Value, 6);
  for (BYTE i = 0; i < subAuthorityCount; ++i)
    putDword(block + kSidHeader + 4 * i, subs[i]);
  sidBlocks_.insert(block);
  *sid = block;
  return 1;
}

void SimSecurity::freeSid(platform::PSID sid) {
  // A pointer that did not come from allocateAndInitializeSid is left
  // alone rather than handed to free().
  if (sidBlocks_.erase(sid)) std::free(sid);
}

BOOL SimSecurity::equalSid(platform::PSID a, platform::PSID b) {
  const std::size_t lengthA = sids::validLength(a);
  const std::size_t lengthB = sids::validLength(b);
  if (!lengthA || !lengthB) return fail(ERROR_INVALID_SID);
  // Windows clears the last error when both are valid but differ.
  context_.lastError() = platform::ERROR_SUCCESS;
  return lengthA == lengthB && std::memcmp(a, b, lengthA) == 0;
}

DWORD SimSecurity::getLengthSid(platform::PSID sid) {
  return static_cast<DWORD>(sids::validLength(sid));
}

BOOL SimSecurity::initializeAcl(platform::ACL* acl, DWORD length,
                                DWORD revision) {
  if (!acl) return fail(platform::ERROR_INVALID_PARAMETER);
  if (length < sizeof(platform::ACL))
    return fail(platform::ERROR_INSUFFICIENT_BUFFER);
  if (length > 0xFFFF || !aclRevisionValid(revision))
    return fail(platform::ERROR_INVALID_PARAMETER);
  auto* b = reinterpret_cast<BYTE*>(acl);
  b[0] = static_cast<BYTE>(revision);
  b[1] = 0;
  putWord(b + 2, static_cast<WORD>(length));
  putWord(b + 4, 0);
  putWord(b + 6, 0);
  return 1;
}

BOOL SimSecurity::addAccessAllowedAce(platform::ACL* acl, DWORD revision,
                                      DWORD mask, platform::PSID sid) {
  if (!acl) return fail(platform::ERROR_INVALID_PARAMETER);
  const std::size_t sidLength = sids::validLength(sid);
  if (!sidLength) return fail(ERROR_INVALID_SID);
  auto* b = reinterpret_cast<BYTE*>(acl);
  const WORD aclSize = getWord(b + 2);
  const WORD aceCount = getWord(b + 4);
  if (!aclRevisionValid(b[0]) || aclSize < sizeof(platform::ACL))
    return fail(ERROR_INVALID_ACL);
  if (!aclRevisionValid(revision)) return fail(ERROR_UNKNOWN_REVISION);

  // The new entry goes after the existing ones, which must all lie inside
  // the ACL's declared size.
  std::size_t end = sizeof(platform::ACL);
  for (WORD i = 0; i < aceCount; ++i) {
    if (end + sizeof(platform::ACE_HEADER) > aclSize)
      return fail(ERROR_INVALID_ACL);
    const WORD aceSize = getWord(b + end + 2);
    if (aceSize < sizeof(platform::ACE_HEADER) || end + aceSize > aclSize)
      return fail(ERROR_INVALID_ACL);
    end += aceSize;
  }
  const std::size_t aceSize = sizeof(platform::ACE_HEADER) + 4 + sidLength;
  if (end + aceSize > aclSize) return fail(ERROR_ALLOTTED_SPACE_EXCEEDED);

  BYTE* ace = b + end;
  ace[0] = platform::ACCESS_ALLOWED_ACE_TYPE;
  ace[1] = 0;
  putWord(ace + 2, static_cast<WORD>(aceSize));
  putDword(ace + 4, mask);
  std::memcpy(ace + 8, sid, sidLength);
  putWord(b + 4, static_cast<WORD>(aceCount + 1));
  if (revision > b[0]) b[0] = static_cast<BYTE>(revision);
  return 1;
}

BOOL SimSecurity::initializeSecurityDescriptor(
    platform::SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
  if (!descriptor) return fail(platform::ERROR_INVALID_PARAMETER);
  if (revision != platform::SECURITY_DESCRIPTOR_REVISION)
    return fail(ERROR_UNKNOWN_REVISION);
  *descriptor = platform::SECURITY_DESCRIPTOR{};
  descriptor->Revision = static_cast<BYTE>(revision);
  return 1;
}

BOOL SimSecurity::setSecurityDescriptorDacl(
    platform::SECURITY_DESCRIPTOR* descriptor, BOOL present,
    platform::ACL* dacl, BOOL defaulted) {
  if (!descriptor) return fail(platform::ERROR_INVALID_PARAMETER);
  if (descriptor->Revision != platform::SECURITY_DESCRIPTOR_REVISION)
    return fail(ERROR_UNKNOWN_REVISION);
  if (descriptor->Control & SE_SELF_RELATIVE)
    return fail(ERROR_INVALID_SECURITY_DESCR);
  WORD control = descriptor->Control;
  control &= static_cast<WORD>(~(platform::SE_DACL_PRESENT |
                                 platform::SE_DACL_DEFAULTED));
  if (present) {
    control |= platform::SE_DACL_PRESENT;
    if (defaulted) control |= platform::SE_DACL_DEFAULTED;
    descriptor->Dacl = dacl;
  } else {
    descriptor->Dacl = nullptr;
  }
  descriptor->Control = control;
  return 1;
}

// ---------------------------------------------------------------- heap

void* SimSecurity::heapAlloc(std::size_t bytes) {
  // HeapAlloc gives a distinct block even for zero bytes.
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) {
    fail(platform::ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  heapBlocks_.insert(block);
  return block;
}

BOOL SimSecurity::heapFree(void* block) {
  if (!block) return 1;
  if (!heapBlocks_.erase(block)) return fail(platform::ERROR_INVALID_PARAMETER);
  std::free(block);
  return 1;
}

}  // namespace sim
