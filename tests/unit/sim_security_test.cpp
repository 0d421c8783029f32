// The simulated security services: SIDs, ACLs and descriptors byte for byte
// as Windows lays them out, the process token and its groups, privileges,
// and the process heap's block count.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/registry.h"
#include "sim/security.h"
#include "support/sim_fixture.h"

namespace {

using platform::BYTE;
using platform::DWORD;
using platform::Handle;
using platform::PSID;

constexpr platform::SID_IDENTIFIER_AUTHORITY kNtAuthority = {{0, 0, 0, 0, 0, 5}};
constexpr platform::SID_IDENTIFIER_AUTHORITY kWorldAuthority = {{0, 0, 0, 0, 0, 1}};

// One simulated process's security services without the rest of the PC.
struct SecurityRig {
  explicit SecurityRig(bool nt = true, bool administrator = true,
                       bool denyOnly = false)
      : store(nt),
        security(sim::SecurityContext{
            store, handles, [this]() -> DWORD& { return lastError; },
            sim::userToken(administrator, denyOnly), 1, "TEST.EXE"}) {}

  PSID administratorsSid() {
    PSID sid = nullptr;
    EXPECT_TRUE(security.allocateAndInitializeSid(
        &kNtAuthority, 2, platform::SECURITY_BUILTIN_DOMAIN_RID,
        platform::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid));
    return sid;
  }

  sim::RegistryStore store;
  sim::HandleTable handles;
  DWORD lastError = 0;
  sim::SimSecurity security;
};

// "S-1-5-32-544" has two sub-authorities: 8 + 2 * 4 bytes.
std::size_t sidLengthOf(const std::string& text) {
  std::size_t dashes = 0;
  for (char ch : text) dashes += ch == '-';
  return 8 + 4 * (dashes - 2);
}

std::vector<BYTE> bytesAt(const void* p, std::size_t n) {
  const auto* b = static_cast<const BYTE*>(p);
  return std::vector<BYTE>(b, b + n);
}

// ---------------------------------------------------------------- SIDs

struct SidCase {
  const char* name;
  platform::SID_IDENTIFIER_AUTHORITY authority;
  BYTE count;
  DWORD subs[8];
  std::vector<BYTE> bytes;
};
void PrintTo(const SidCase& c, std::ostream* os) { *os << c.name; }

class SidLayout : public testing::TestWithParam<SidCase> {};

TEST_P(SidLayout, AllocatesWindowsBytesAndFreesThem) {
  const SidCase& c = GetParam();
  SecurityRig rig;
  PSID sid = nullptr;
  ASSERT_TRUE(rig.security.allocateAndInitializeSid(
      &c.authority, c.count, c.subs[0], c.subs[1], c.subs[2], c.subs[3],
      c.subs[4], c.subs[5], c.subs[6], c.subs[7], &sid));
  EXPECT_EQ(rig.security.getLengthSid(sid), c.bytes.size());
  EXPECT_EQ(bytesAt(sid, c.bytes.size()), c.bytes);
  EXPECT_EQ(rig.security.outstandingSids(), 1u);
  rig.security.freeSid(sid);
  EXPECT_EQ(rig.security.outstandingSids(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Security, SidLayout,
    testing::Values(
        SidCase{"Administrators", kNtAuthority, 2, {32, 544},
                {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0}},
        SidCase{"Everyone", kWorldAuthority, 1, {0},
                {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
        SidCase{"System", kNtAuthority, 1, {18},
                {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}},
        SidCase{"NoSubAuthority", kNtAuthority, 0, {}, {1, 0, 0, 0, 0, 0, 0, 5}},
        SidCase{"EightSubAuthorities", {{0, 0, 0, 0, 0x12, 0x34}}, 8,
                {1, 2, 3, 4, 5, 6, 7, 0x89ABCDEF},
                {1, 8, 0, 0, 0, 0, 0x12, 0x34, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0,
                 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 0xEF,
                 0xCD, 0xAB, 0x89}}),
    [](const testing::TestParamInfo<SidCase>& i) { return i.param.name; });

TEST(SimSecurity, MoreThanEightSubAuthoritiesAreRefused) {
  SecurityRig rig;
  PSID sid = nullptr;
  EXPECT_FALSE(rig.security.allocateAndInitializeSid(&kNtAuthority, 9, 0, 0,
                                                     0, 0, 0, 0, 0, 0, &sid));
  EXPECT_EQ(rig.lastError, sim::ERROR_INVALID_SID);
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(rig.security.outstandingSids(), 0u);
}

TEST(SimSecurity, EqualSidComparesWholeSids) {
  SecurityRig rig;
  struct Case {
    const char* name;
    sim::SidBytes other;
    bool equal;
  } cases[] = {
      {"same", sim::sids::administrators(), true},
      {"other alias", sim::sids::users(), false},
      {"prefix only", sim::sids::make(5, {32}), false},
      {"longer", sim::sids::make(5, {32, 544, 0}), false},
      {"other authority", sim::sids::make(1, {32, 544}), false},
  };
  PSID admins = rig.administratorsSid();
  for (const Case& c : cases) {
    rig.lastError = 99;
    sim::SidBytes other = c.other;
    EXPECT_EQ(rig.security.equalSid(admins, other.data()), c.equal ? 1 : 0)
        << c.name;
    EXPECT_EQ(rig.lastError, platform::ERROR_SUCCESS) << c.name;
  }
  std::vector<BYTE> broken = sim::sids::administrators();
  broken[0] = 2;  // revision
  EXPECT_FALSE(rig.security.equalSid(admins, broken.data()));
  EXPECT_EQ(rig.lastError, sim::ERROR_INVALID_SID);
  rig.security.freeSid(admins);
}

// ---------------------------------------------------------------- ACLs

// The ACL is built in a heap block of exactly `length` bytes, so a write
// past it is caught by the address sanitizer.
struct AclCase {
  const char* name;
  DWORD length;
  DWORD initError;  // 0: initializeAcl succeeds
  int acesThatFit;  // Administrators entries added before one fails
};
void PrintTo(const AclCase& c, std::ostream* os) { *os << c.name; }

class AclSizes : public testing::TestWithParam<AclCase> {};

TEST_P(AclSizes, EntriesFitTheDeclaredSizeOnly) {
  const AclCase& c = GetParam();
  SecurityRig rig;
  PSID admins = rig.administratorsSid();
  auto* acl = static_cast<platform::ACL*>(rig.security.heapAlloc(c.length));
  if (c.initError) {
    EXPECT_FALSE(rig.security.initializeAcl(acl, c.length, platform::ACL_REVISION));
    EXPECT_EQ(rig.lastError, c.initError);
  } else {
    ASSERT_TRUE(rig.security.initializeAcl(acl, c.length, platform::ACL_REVISION));
    for (int i = 0; i < c.acesThatFit; ++i) {
      EXPECT_TRUE(rig.security.addAccessAllowedAce(
          acl, platform::ACL_REVISION, platform::KEY_ALL_ACCESS, admins))
          << "entry " << i;
    }
    EXPECT_FALSE(rig.security.addAccessAllowedAce(
        acl, platform::ACL_REVISION, platform::KEY_ALL_ACCESS, admins));
    EXPECT_EQ(rig.lastError, sim::ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(acl->AceCount, c.acesThatFit);
    EXPECT_EQ(acl->AclSize, c.length);
  }
  EXPECT_TRUE(rig.security.heapFree(acl));
  rig.security.freeSid(admins);
}

// An Administrators entry is 8 + 16 bytes: the SID length + 16 holds the
// header and exactly one.
INSTANTIATE_TEST_SUITE_P(
    Security, AclSizes,
    testing::Values(AclCase{"ShorterThanHeader", 7, platform::ERROR_INSUFFICIENT_BUFFER, 0},
                    AclCase{"HeaderOnly", 8, 0, 0},
                    AclCase{"OneByteShort", 31, 0, 0},
                    AclCase{"SidLengthPlus16", 32, 0, 1},
                    AclCase{"TwoEntries", 56, 0, 2}),
    [](const testing::TestParamInfo<AclCase>& i) { return i.param.name; });

TEST(SimSecurity, AdministratorsFullAccessAclBytes) {
  SecurityRig rig;
  PSID admins = rig.administratorsSid();
  const DWORD length = rig.security.getLengthSid(admins) + 16;
  ASSERT_EQ(length, 32u);
  auto* acl = static_cast<platform::ACL*>(rig.security.heapAlloc(length));
  ASSERT_TRUE(rig.security.initializeAcl(acl, length, platform::ACL_REVISION));
  ASSERT_TRUE(rig.security.addAccessAllowedAce(acl, platform::ACL_REVISION,
                                               0xF003F, admins));
  const std::vector<BYTE> expected = {
      2, 0, 32, 0, 1, 0, 0, 0,                                  // ACL header
      0, 0, 24, 0, 0x3F, 0, 0x0F, 0,                            // ACE, mask
      1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0}; // SID
  EXPECT_EQ(bytesAt(acl, length), expected);
  rig.security.heapFree(acl);
  rig.security.freeSid(admins);
}

TEST(SimSecurity, AclArgumentErrors) {
  SecurityRig rig;
  alignas(4) BYTE buffer[64] = {};
  auto* acl = reinterpret_cast<platform::ACL*>(buffer);
  EXPECT_FALSE(rig.security.initializeAcl(acl, sizeof buffer, 1));
  EXPECT_EQ(rig.lastError, platform::ERROR_INVALID_PARAMETER);
  // An ACL that was never initialised is not added to.
  sim::SidBytes admins = sim::sids::administrators();
  EXPECT_FALSE(rig.security.addAccessAllowedAce(acl, 2, 1, admins.data()));
  EXPECT_EQ(rig.lastError, sim::ERROR_INVALID_ACL);
  ASSERT_TRUE(rig.security.initializeAcl(acl, sizeof buffer, 2));
  sim::SidBytes bad = admins;
  bad[1] = 16;  // more sub-authorities than a SID can have
  EXPECT_FALSE(rig.security.addAccessAllowedAce(acl, 2, 1, bad.data()));
  EXPECT_EQ(rig.lastError, sim::ERROR_INVALID_SID);
  EXPECT_EQ(acl->AceCount, 0);
}

// ---------------------------------------------------------------- descriptors

TEST(SimSecurity, DescriptorInitialisationAndDacl) {
  SecurityRig rig;
  platform::SECURITY_DESCRIPTOR sd;
  std::memset(&sd, 0xCC, sizeof sd);
  ASSERT_TRUE(rig.security.initializeSecurityDescriptor(&sd, 1));
  EXPECT_EQ(sd.Revision, 1);
  EXPECT_EQ(sd.Control, 0);
  EXPECT_EQ(sd.Owner, nullptr);
  EXPECT_EQ(sd.Group, nullptr);
  EXPECT_EQ(sd.Sacl, nullptr);
  EXPECT_EQ(sd.Dacl, nullptr);

  alignas(4) BYTE buffer[8];
  auto* acl = reinterpret_cast<platform::ACL*>(buffer);
  struct Case {
    platform::BOOL present;
    platform::ACL* dacl;
    platform::BOOL defaulted;
    platform::WORD control;
    platform::ACL* stored;
  } cases[] = {
      {1, acl, 0, platform::SE_DACL_PRESENT, acl},
      {1, acl, 1, platform::SE_DACL_PRESENT | platform::SE_DACL_DEFAULTED, acl},
      {1, nullptr, 0, platform::SE_DACL_PRESENT, nullptr},  // a null DACL
      {0, acl, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(rig.security.setSecurityDescriptorDacl(&sd, c.present, c.dacl,
                                                        c.defaulted));
    EXPECT_EQ(sd.Control, c.control);
    EXPECT_EQ(sd.Dacl, c.stored);
  }

  EXPECT_FALSE(rig.security.initializeSecurityDescriptor(&sd, 2));
  EXPECT_EQ(rig.lastError, sim::ERROR_UNKNOWN_REVISION);
}

// ---------------------------------------------------------------- tokens

struct GroupsCase {
  const char* name;
  bool administrator;
  bool denyOnly;
  std::vector<std::pair<std::string, DWORD>> groups;
};
void PrintTo(const GroupsCase& c, std::ostream* os) { *os << c.name; }

class TokenGroups : public testing::TestWithParam<GroupsCase> {};

// The size query fails with 122 and names the size; one byte less still
// fails; the exact size gives the count, the entries and the SIDs behind
// them, each entry pointing into the same buffer.
TEST_P(TokenGroups, LayoutRoundTrip) {
  const GroupsCase& c = GetParam();
  SecurityRig rig(true, c.administrator, c.denyOnly);
  Handle token = 0;
  ASSERT_TRUE(rig.security.openProcessToken(platform::TOKEN_QUERY, &token));

  DWORD needed = 0;
  EXPECT_FALSE(rig.security.getTokenInformation(token, platform::TokenGroups,
                                                nullptr, 0, &needed));
  EXPECT_EQ(rig.lastError, platform::ERROR_INSUFFICIENT_BUFFER);
  const std::size_t arrayEnd =
      offsetof(platform::TOKEN_GROUPS, Groups) +
      c.groups.size() * sizeof(platform::SID_AND_ATTRIBUTES);
  std::size_t sidBytes = 0;
  for (const auto& g : c.groups) sidBytes += sidLengthOf(g.first);
  ASSERT_EQ(needed, arrayEnd + sidBytes);

  auto* buffer = static_cast<BYTE*>(rig.security.heapAlloc(needed));
  DWORD returned = 0;
  EXPECT_FALSE(rig.security.getTokenInformation(token, platform::TokenGroups,
                                                buffer, needed - 1, &returned));
  EXPECT_EQ(rig.lastError, platform::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(returned, needed);

  ASSERT_TRUE(rig.security.getTokenInformation(token, platform::TokenGroups,
                                               buffer, needed, &returned));
  EXPECT_EQ(returned, needed);
  const auto* groups = reinterpret_cast<const platform::TOKEN_GROUPS*>(buffer);
  ASSERT_EQ(groups->GroupCount, c.groups.size());
  const auto* entries = reinterpret_cast<const platform::SID_AND_ATTRIBUTES*>(
      buffer + offsetof(platform::TOKEN_GROUPS, Groups));
  const BYTE* nextSid = buffer + arrayEnd;
  for (std::size_t i = 0; i < c.groups.size(); ++i) {
    const auto* sid = static_cast<const BYTE*>(entries[i].Sid);
    EXPECT_EQ(sid, nextSid) << i;
    ASSERT_LE(sid + rig.security.getLengthSid(entries[i].Sid), buffer + needed);
    EXPECT_EQ(sim::sids::toString(sim::sids::copy(sid)), c.groups[i].first);
    EXPECT_EQ(entries[i].Attributes, c.groups[i].second) << c.groups[i].first;
    nextSid = sid + rig.security.getLengthSid(entries[i].Sid);
  }
  rig.security.heapFree(buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Security, TokenGroups,
    testing::Values(
        GroupsCase{"Administrator", true, false,
                   {{"S-1-1-0", 7}, {"S-1-5-32-544", 0xF}, {"S-1-5-32-545", 7},
                    {"S-1-5-11", 7}}},
        GroupsCase{"User", false, false,
                   {{"S-1-1-0", 7}, {"S-1-5-32-545", 7}, {"S-1-5-11", 7}}},
        GroupsCase{"DenyOnlyAdministrator", true, true,
                   {{"S-1-1-0", 7},
                    {"S-1-5-32-544", platform::SE_GROUP_USE_FOR_DENY_ONLY},
                    {"S-1-5-32-545", 7},
                    {"S-1-5-11", 7}}}),
    [](const testing::TestParamInfo<GroupsCase>& i) { return i.param.name; });

TEST(SimSecurity, ThreadsHaveNoTokenOfTheirOwn) {
  SecurityRig rig;
  Handle token = 77;
  EXPECT_FALSE(rig.security.openThreadToken(platform::TOKEN_QUERY, 0, &token));
  EXPECT_EQ(rig.lastError, platform::ERROR_NO_TOKEN);
  EXPECT_EQ(token, 77u);
}

TEST(SimSecurity, TokenCallsAreNotImplementedOnWindows9x) {
  SecurityRig rig(false);
  Handle token = 0;
  DWORD length = 0;
  platform::LUID luid{};
  platform::TOKEN_PRIVILEGES privileges{1, {{{19, 0}, platform::SE_PRIVILEGE_ENABLED}}};
  struct Call {
    const char* name;
    std::function<platform::BOOL()> run;
  } calls[] = {
      {"openProcessToken",
       [&] { return rig.security.openProcessToken(platform::TOKEN_QUERY, &token); }},
      {"openThreadToken",
       [&] { return rig.security.openThreadToken(platform::TOKEN_QUERY, 0, &token); }},
      {"getTokenInformation",
       [&] {
         return rig.security.getTokenInformation(0x100, platform::TokenGroups, nullptr,
                                                 0, &length);
       }},
      {"lookupPrivilegeValueA",
       [&] { return rig.security.lookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid); }},
      {"adjustTokenPrivileges",
       [&] { return rig.security.adjustTokenPrivileges(0x100, 0, &privileges); }},
  };
  for (const Call& c : calls) {
    rig.lastError = 0;
    EXPECT_FALSE(c.run()) << c.name;
    EXPECT_EQ(rig.lastError, platform::ERROR_CALL_NOT_IMPLEMENTED) << c.name;
  }
  EXPECT_EQ(token, 0u);
  EXPECT_TRUE(rig.store.privilegeLog().empty());
}

TEST(SimSecurity, TokenHandlesCarryTheirAccessAndDieWithTheHandle) {
  SecurityRig rig;
  Handle adjustOnly = 0;
  ASSERT_TRUE(rig.security.openProcessToken(platform::TOKEN_ADJUST_PRIVILEGES,
                                            &adjustOnly));
  ASSERT_NE(rig.handles.get<sim::TokenObject>(adjustOnly), nullptr);
  DWORD length = 0;
  EXPECT_FALSE(rig.security.getTokenInformation(adjustOnly, platform::TokenGroups,
                                                nullptr, 0, &length));
  EXPECT_EQ(rig.lastError, platform::ERROR_ACCESS_DENIED);

  Handle query = 0;
  ASSERT_TRUE(rig.security.openProcessToken(platform::TOKEN_QUERY, &query));
  EXPECT_NE(query, adjustOnly);
  platform::TOKEN_PRIVILEGES privileges{1, {{{19, 0}, platform::SE_PRIVILEGE_ENABLED}}};
  EXPECT_FALSE(rig.security.adjustTokenPrivileges(query, 0, &privileges));
  EXPECT_EQ(rig.lastError, platform::ERROR_ACCESS_DENIED);

  ASSERT_TRUE(rig.handles.remove(query));
  EXPECT_FALSE(rig.security.getTokenInformation(query, platform::TokenGroups,
                                                nullptr, 0, &length));
  EXPECT_EQ(rig.lastError, platform::ERROR_INVALID_HANDLE);
}

// ---------------------------------------------------------------- privileges

TEST(SimSecurity, LookupPrivilegeValue) {
  SecurityRig rig;
  struct Case {
    const char* name;
    DWORD luid;  // 0: fails with ERROR_NO_SUCH_PRIVILEGE
  } cases[] = {
      {"SeShutdownPrivilege", 19},
      {"seshutdownprivilege", 19},
      {"SeDebugPrivilege", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    platform::LUID luid{7, 7};
    const platform::BOOL ok = rig.security.lookupPrivilegeValueA(nullptr, c.name, &luid);
    EXPECT_EQ(ok, c.luid ? 1 : 0) << c.name;
    if (c.luid) {
      EXPECT_EQ(luid.LowPart, c.luid) << c.name;
      EXPECT_EQ(luid.HighPart, 0) << c.name;
    } else {
      EXPECT_EQ(rig.lastError, platform::ERROR_NO_SUCH_PRIVILEGE) << c.name;
      EXPECT_EQ(luid.LowPart, 7u) << c.name;
    }
  }
}

DWORD shutdownAttributes(SecurityRig& rig, Handle token) {
  alignas(8) BYTE buffer[64];
  DWORD length = 0;
  EXPECT_TRUE(rig.security.getTokenInformation(token, platform::TokenPrivileges,
                                               buffer, sizeof buffer, &length));
  const auto* p = reinterpret_cast<const platform::TOKEN_PRIVILEGES*>(buffer);
  EXPECT_EQ(p->PrivilegeCount, 1u);
  EXPECT_EQ(p->Privileges[0].Luid.LowPart, 19u);
  return p->Privileges[0].Attributes;
}

TEST(SimSecurity, EnablingTheShutdownPrivilegeIsRecordedOnThePc) {
  SecurityRig rig;
  Handle token = 0;
  ASSERT_TRUE(rig.security.openProcessToken(
      platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, &token));
  EXPECT_EQ(shutdownAttributes(rig, token), 0u);
  EXPECT_FALSE(rig.store.privilegeEnabled(1, "SeShutdownPrivilege"));

  platform::TOKEN_PRIVILEGES enable{1, {{{19, 0}, platform::SE_PRIVILEGE_ENABLED}}};
  rig.lastError = 99;
  ASSERT_TRUE(rig.security.adjustTokenPrivileges(token, 0, &enable));
  EXPECT_EQ(rig.lastError, platform::ERROR_SUCCESS);
  EXPECT_EQ(shutdownAttributes(rig, token), platform::SE_PRIVILEGE_ENABLED);
  EXPECT_TRUE(rig.store.privilegeEnabled(1, "SeShutdownPrivilege"));
  EXPECT_FALSE(rig.store.privilegeEnabled(2, "SeShutdownPrivilege"));

  // A privilege the token does not hold: success, but not all assigned.
  platform::TOKEN_PRIVILEGES unknown{1, {{{5, 0}, platform::SE_PRIVILEGE_ENABLED}}};
  ASSERT_TRUE(rig.security.adjustTokenPrivileges(token, 0, &unknown));
  EXPECT_EQ(rig.lastError, platform::ERROR_NOT_ALL_ASSIGNED);

  ASSERT_TRUE(rig.security.adjustTokenPrivileges(token, 1, nullptr));
  EXPECT_EQ(shutdownAttributes(rig, token), 0u);
  EXPECT_FALSE(rig.store.privilegeEnabled(1, "SeShutdownPrivilege"));
  const std::vector<sim::PrivilegeChange> expected = {
      {1, "TEST.EXE", "SeShutdownPrivilege", true},
      {1, "TEST.EXE", "SeShutdownPrivilege", false}};
  EXPECT_EQ(rig.store.privilegeLog(), expected);
}

// ---------------------------------------------------------------- heap

TEST(SimSecurity, HeapCountsOutstandingBlocks) {
  SecurityRig rig;
  void* a = rig.security.heapAlloc(32);
  void* b = rig.security.heapAlloc(0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(rig.security.outstandingHeapBlocks(), 2u);
  EXPECT_TRUE(rig.security.heapFree(a));
  EXPECT_EQ(rig.security.outstandingHeapBlocks(), 1u);
  // Freeing twice, or a block the heap never gave, fails and frees nothing.
  EXPECT_FALSE(rig.security.heapFree(a));
  EXPECT_EQ(rig.lastError, platform::ERROR_INVALID_PARAMETER);
  int local = 0;
  EXPECT_FALSE(rig.security.heapFree(&local));
  EXPECT_EQ(rig.security.outstandingHeapBlocks(), 1u);
  // `b` is left for the process's end to release.
}

// ---------------------------------------------------------------- on the PC

// A program on the simulated PC sees the same token through its platform,
// and the kernel's closeHandle closes a token handle.
TEST(SimSecurity, ProgramOnThePcReadsItsTokenAndClosesIt) {
  sim::PcConfig config;
  config.administrator = false;
  testsupport::TestPc pc(config);
  DWORD groupCount = 0, afterClose = 0, closeResult = 0;
  pc.runProgram([&](platform::Platform& p) -> DWORD {
    Handle token = 0;
    if (!p.security.openProcessToken(platform::TOKEN_QUERY, &token)) return 1;
    DWORD needed = 0;
    p.security.getTokenInformation(token, platform::TokenGroups, nullptr, 0, &needed);
    std::vector<std::uint64_t> buffer((needed + 7) / 8);
    if (!p.security.getTokenInformation(token, platform::TokenGroups, buffer.data(),
                                        needed, &needed))
      return 2;
    groupCount = reinterpret_cast<platform::TOKEN_GROUPS*>(buffer.data())->GroupCount;
    closeResult = static_cast<DWORD>(p.kernel.closeHandle(token));
    if (!p.security.getTokenInformation(token, platform::TokenGroups, nullptr, 0, &needed))
      afterClose = p.kernel.getLastError();
    return 0;
  });
  ASSERT_NE(pc.lastProcess(), nullptr);
  EXPECT_EQ(pc.lastProcess()->exitCode(), 0u);
  EXPECT_EQ(groupCount, 3u);  // no Administrators
  EXPECT_EQ(closeResult, 1u);
  EXPECT_EQ(afterClose, platform::ERROR_INVALID_HANDLE);
}

}  // namespace
