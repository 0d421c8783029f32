// The device-key tree removal: the order in which keys go, the access list
// each key gets before its delete, what a missing or protected key leaves,
// the administrator check and the descriptor's exact ACL.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "keytree/key_tree.h"
#include "sim/registry.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using testsupport::TestPc;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
const std::string kDevice = kUsb + "\\Vid_2e51&Pid_2201";

void makeDeviceTree(sim::RegistryStore& store, const std::string& top,
                    const std::vector<std::string>& below) {
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  store.createKey(HKEY_LOCAL_MACHINE, top, &device);
  for (const std::string& path : below) {
    store.createKey(HKEY_LOCAL_MACHINE, top + "\\" + path, &device);
  }
}

sim::KeySecurity adminsOnly() {
  return sim::KeySecurity::only(sim::sids::administrators(), KEY_ALL_ACCESS);
}

// Runs removeKeyTree(path) as a program; the descriptor is made as the
// callers make it.
int removeAsProgram(TestPc& pc, const std::string& path) {
  int result = -1;
  pc.runProgram([&](Platform& p) -> DWORD {
    keytree::AdminAccessDescriptor descriptor(p.security);
    if (!descriptor.create()) return 1;
    result = keytree::removeKeyTree(p, descriptor, path.c_str());
    return 0;
  });
  return result;
}

TEST(KeyTree, RemovesChildrenByDescendingIndexEachSubtreeBeforeItsParent) {
  TestPc pc;
  makeDeviceTree(pc->registry(), kDevice + "\\a", {"b", "c", "c\\d"});
  makeDeviceTree(pc->registry(), kUsb + "\\Vid_2e51&Pid_2202", {"x"});
  EXPECT_EQ(removeAsProgram(pc, kDevice + "\\a"), 1);
  const std::string a = kDevice + "\\a";
  EXPECT_EQ(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE),
            (std::vector<std::string>{a + "\\c\\d", a + "\\c", a + "\\b", a}));
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, kDevice));
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_2e51&Pid_2202\\x"));
}

TEST(KeyTree, MissingOrEmptyPathGivesZeroAndTouchesNothing) {
  for (const std::string& path : {kDevice + "\\nothing", std::string()}) {
    SCOPED_TRACE("path '" + path + "'");
    TestPc pc;
    makeDeviceTree(pc->registry(), kDevice, {"child"});
    const auto before = pc->registry().security(HKEY_LOCAL_MACHINE, kDevice);
    EXPECT_EQ(removeAsProgram(pc, path), 0);
    EXPECT_TRUE(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE).empty());
    EXPECT_EQ(pc->registry().security(HKEY_LOCAL_MACHINE, kDevice), before);
    EXPECT_EQ(pc->registry().security(HKEY_LOCAL_MACHINE, ""),
              sim::KeySecurity::machineKey());
  }
}

TEST(KeyTree, ProtectedKeyStaysAndKeepsItsParentButSiblingsGo) {
  TestPc pc;
  // Owned by SYSTEM and open to SYSTEM only: an administrator can neither
  // replace its access list nor delete it.
  sim::KeySecurity systemOnly;
  systemOnly.owner = sim::sids::system();
  systemOnly.dacl = {sim::Ace{ACCESS_ALLOWED_ACE_TYPE, 0, KEY_ALL_ACCESS, sim::sids::system()}};
  makeDeviceTree(pc->registry(), kDevice, {"inst", "other", "other\\Device Parameters"});
  pc->registry().setSecurity(HKEY_LOCAL_MACHINE, kDevice + "\\inst", systemOnly);
  EXPECT_EQ(removeAsProgram(pc, kDevice), 1);
  EXPECT_EQ(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE),
            (std::vector<std::string>{kDevice + "\\other\\Device Parameters",
                                      kDevice + "\\other"}));
  EXPECT_EQ(pc->registry().security(HKEY_LOCAL_MACHINE, kDevice + "\\inst"), systemOnly);
  // The top key got its new access list; its delete failed unnoticed.
  auto top = pc->registry().security(HKEY_LOCAL_MACHINE, kDevice);
  ASSERT_TRUE(top.has_value());
  EXPECT_EQ(top->dacl, adminsOnly().dacl);
  EXPECT_EQ(top->owner, sim::sids::administrators());
}

TEST(KeyTree, ProtectedTopKeyGivesZero) {
  TestPc pc;
  sim::KeySecurity systemOnly;
  systemOnly.owner = sim::sids::system();
  systemOnly.dacl = {sim::Ace{ACCESS_ALLOWED_ACE_TYPE, 0, KEY_ALL_ACCESS, sim::sids::system()}};
  makeDeviceTree(pc->registry(), kDevice, {});
  pc->registry().setSecurity(HKEY_LOCAL_MACHINE, kDevice, systemOnly);
  EXPECT_EQ(removeAsProgram(pc, kDevice), 0);
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, kDevice));
}

TEST(KeyTree, ChildPathsLongerThan255CharactersAreRemovedWhole) {
  TestPc pc;
  const std::string level(120, 'L');
  const std::vector<std::string> below = {level, level + "\\" + level,
                                          level + "\\" + level + "\\" + level};
  makeDeviceTree(pc->registry(), kDevice, below);
  ASSERT_GT((kDevice + "\\" + below.back()).size(), 255u);
  EXPECT_EQ(removeAsProgram(pc, kDevice), 1);
  EXPECT_FALSE(pc->registry().exists(HKEY_LOCAL_MACHINE, kDevice));
  EXPECT_EQ(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE).size(), 4u);
}

// Forwards to the process's registry and notes each call that changes or
// opens a key, by path, so the order of grant and delete can be read back.
class RecordingRegistry : public Registry {
 public:
  explicit RecordingRegistry(Registry& inner) : inner_(inner) {}
  std::vector<std::string> log;

  LONG regCreateKeyExA(HKEY root, const char* subKey, DWORD access, HKEY* result,
                       DWORD* disposition) override {
    return inner_.regCreateKeyExA(root, subKey, access, result, disposition);
  }
  LONG regOpenKeyA(HKEY root, const char* subKey, HKEY* result) override {
    LONG r = inner_.regOpenKeyA(root, subKey, result);
    if (r == ERROR_SUCCESS) paths_[*result] = subKey;
    return r;
  }
  LONG regOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD access,
                     HKEY* result) override {
    LONG r = inner_.regOpenKeyExA(root, subKey, options, access, result);
    log.push_back("open " + std::to_string(access) + " " + subKey);
    if (r == ERROR_SUCCESS) paths_[*result] = subKey;
    return r;
  }
  LONG regCloseKey(HKEY key) override { return inner_.regCloseKey(key); }
  LONG regQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                        DWORD* size) override {
    return inner_.regQueryValueExA(key, name, type, data, size);
  }
  LONG regSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                      DWORD size) override {
    return inner_.regSetValueExA(key, name, type, data, size);
  }
  LONG regDeleteValueA(HKEY key, const char* name) override {
    return inner_.regDeleteValueA(key, name);
  }
  LONG regEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) override {
    log.push_back("enum " + std::to_string(index) + " " + paths_[key]);
    return inner_.regEnumKeyA(key, index, name, nameSize);
  }
  LONG regQueryInfoKeyA(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLength,
                        DWORD* values) override {
    log.push_back("count " + paths_[key]);
    return inner_.regQueryInfoKeyA(key, subKeys, maxSubKeyLength, values);
  }
  LONG regSetKeySecurity(HKEY key, DWORD information,
                         const SECURITY_DESCRIPTOR* descriptor) override {
    log.push_back("dacl " + std::to_string(information) + " " + paths_[key]);
    return inner_.regSetKeySecurity(key, information, descriptor);
  }
  LONG regDeleteKeyA(HKEY root, const char* subKey) override {
    log.push_back(std::string("delete ") + subKey);
    return inner_.regDeleteKeyA(root, subKey);
  }

 private:
  Registry& inner_;
  std::map<HKEY, std::string> paths_;
};

TEST(KeyTree, ReadsTheCountOnceAndReplacesTheAccessListBeforeEveryDelete) {
  TestPc pc;
  makeDeviceTree(pc->registry(), "T", {"b", "c"});
  std::vector<std::string> log;
  pc.runProgram([&](Platform& p) -> DWORD {
    RecordingRegistry registry(p.registry);
    Platform recorded{p.kernel, registry, p.security, p.ui, p.shell, p.dialogs};
    keytree::AdminAccessDescriptor descriptor(p.security);
    if (!descriptor.create()) return 1;
    keytree::removeKeyTree(recorded, descriptor, "T");
    log = registry.log;
    return 0;
  });
  const std::string dac = std::to_string(WRITE_DAC);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "count T",
                     "enum 1 T",
                     "count T\\c", "open " + dac + " T\\c", "dacl 4 T\\c", "delete T\\c",
                     "enum 0 T",
                     "count T\\b", "open " + dac + " T\\b", "dacl 4 T\\b", "delete T\\b",
                     "open " + dac + " T", "dacl 4 T", "delete T"}));
  EXPECT_FALSE(pc->registry().exists(HKEY_LOCAL_MACHINE, "T"));
}

struct AdminCase {
  const char* name;
  sim::WindowsVersion os;
  bool administrator;
  bool denyOnly;
  int expected;
};

// Test names and ctest's listing show the case by its name.
void PrintTo(const AdminCase& c, std::ostream* os) { *os << c.name; }

class IsAdministrator : public ::testing::TestWithParam<AdminCase> {};

TEST_P(IsAdministrator, LooksOnlyForTheGroupNotItsAttributes) {
  const AdminCase& c = GetParam();
  sim::PcConfig config;
  config.os = c.os;
  config.administrator = c.administrator;
  config.adminDenyOnly = c.denyOnly;
  TestPc pc(config);
  int result = -1;
  pc.runProgram([&](Platform& p) -> DWORD {
    result = keytree::isAdministrator(p);
    return 0;
  });
  EXPECT_EQ(result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, IsAdministrator,
    ::testing::Values(AdminCase{"Administrator", sim::WindowsVersion::WinXP, true, false, 1},
                      AdminCase{"DenyOnlyAdministrators", sim::WindowsVersion::WinXP, true, true, 1},
                      AdminCase{"PlainUser", sim::WindowsVersion::Win2000, false, false, 0},
                      AdminCase{"NoTokensOnWin98", sim::WindowsVersion::Win98, true, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Forwards to the process's security services, notes the heap and SID
// traffic of the descriptor and can make one step fail.
class CountingSecurity : public Security {
 public:
  CountingSecurity(Security& inner, int failStep) : inner_(inner), failStep_(failStep) {}
  std::vector<std::size_t> heapSizes;
  std::vector<DWORD> aclLengths;
  int liveBlocks = 0;
  int liveSids = 0;

  BOOL openProcessToken(DWORD access, Handle* token) override {
    return inner_.openProcessToken(access, token);
  }
  BOOL openThreadToken(DWORD access, BOOL self, Handle* token) override {
    return inner_.openThreadToken(access, self, token);
  }
  BOOL getTokenInformation(Handle token, int cls, void* buffer, DWORD length,
                           DWORD* returned) override {
    return inner_.getTokenInformation(token, cls, buffer, length, returned);
  }
  BOOL lookupPrivilegeValueA(const char* s, const char* n, LUID* l) override {
    return inner_.lookupPrivilegeValueA(s, n, l);
  }
  BOOL adjustTokenPrivileges(Handle t, BOOL d, const TOKEN_PRIVILEGES* p) override {
    return inner_.adjustTokenPrivileges(t, d, p);
  }
  BOOL allocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* a, BYTE n, DWORD s0,
                                DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5,
                                DWORD s6, DWORD s7, PSID* sid) override {
    if (failStep_ == 1) return 0;
    BOOL ok = inner_.allocateAndInitializeSid(a, n, s0, s1, s2, s3, s4, s5, s6, s7, sid);
    if (ok) ++liveSids;
    return ok;
  }
  void freeSid(PSID sid) override {
    --liveSids;
    inner_.freeSid(sid);
  }
  BOOL equalSid(PSID a, PSID b) override { return inner_.equalSid(a, b); }
  DWORD getLengthSid(PSID sid) override { return inner_.getLengthSid(sid); }
  BOOL initializeAcl(ACL* acl, DWORD length, DWORD revision) override {
    aclLengths.push_back(length);
    return failStep_ == 3 ? 0 : inner_.initializeAcl(acl, length, revision);
  }
  BOOL addAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) override {
    return failStep_ == 4 ? 0 : inner_.addAccessAllowedAce(acl, revision, mask, sid);
  }
  BOOL initializeSecurityDescriptor(SECURITY_DESCRIPTOR* d, DWORD revision) override {
    return failStep_ == 5 ? 0 : inner_.initializeSecurityDescriptor(d, revision);
  }
  BOOL setSecurityDescriptorDacl(SECURITY_DESCRIPTOR* d, BOOL present, ACL* dacl,
                                 BOOL defaulted) override {
    return failStep_ == 6 ? 0 : inner_.setSecurityDescriptorDacl(d, present, dacl, defaulted);
  }
  void* heapAlloc(std::size_t bytes) override {
    heapSizes.push_back(bytes);
    if (failStep_ == 2) return nullptr;
    void* block = inner_.heapAlloc(bytes);
    if (block != nullptr) ++liveBlocks;
    return block;
  }
  BOOL heapFree(void* block) override {
    --liveBlocks;
    return inner_.heapFree(block);
  }

 private:
  Security& inner_;
  int failStep_;
};

TEST(AdminAccessDescriptor, AclIsExactlyTheSidLengthPlus16GrantingAdministratorsAll) {
  TestPc pc;
  std::vector<std::size_t> heapSizes;
  std::vector<DWORD> aclLengths;
  ACL header{};
  ACCESS_ALLOWED_ACE ace{};
  SECURITY_DESCRIPTOR sd{};
  int liveAfterRelease = -1;
  pc.runProgram([&](Platform& p) -> DWORD {
    CountingSecurity security(p.security, 0);
    keytree::AdminAccessDescriptor descriptor(security);
    if (!descriptor.create()) return 1;
    sd = *descriptor.descriptor();
    std::memcpy(&header, sd.Dacl, sizeof header);
    std::memcpy(&ace, reinterpret_cast<const BYTE*>(sd.Dacl) + sizeof header, sizeof ace);
    descriptor.release();
    heapSizes = security.heapSizes;
    aclLengths = security.aclLengths;
    liveAfterRelease = security.liveBlocks + security.liveSids;
    return 0;
  });
  EXPECT_EQ(heapSizes, (std::vector<std::size_t>{32}));
  EXPECT_EQ(aclLengths, (std::vector<DWORD>{32}));
  EXPECT_EQ(header.AclRevision, ACL_REVISION);
  EXPECT_EQ(header.AclSize, 32);
  EXPECT_EQ(header.AceCount, 1);
  EXPECT_EQ(ace.Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(ace.Mask, 0xF003Fu);
  EXPECT_EQ(sd.Revision, SECURITY_DESCRIPTOR_REVISION);
  EXPECT_TRUE(sd.Control & SE_DACL_PRESENT);
  EXPECT_FALSE(sd.Control & SE_DACL_DEFAULTED);
  EXPECT_EQ(sd.Owner, nullptr);
  EXPECT_EQ(sd.Group, nullptr);
  EXPECT_EQ(sd.Sacl, nullptr);
  EXPECT_EQ(liveAfterRelease, 0);
}

TEST(AdminAccessDescriptor, FailedCreateGivesBackWhatItObtained) {
  for (int step = 1; step <= 6; ++step) {
    SCOPED_TRACE("failing step " + std::to_string(step));
    TestPc pc;
    int created = -1;
    int liveBlocks = -1;
    int liveSids = -1;
    pc.runProgram([&](Platform& p) -> DWORD {
      CountingSecurity security(p.security, step);
      keytree::AdminAccessDescriptor descriptor(security);
      created = descriptor.create();
      liveBlocks = security.liveBlocks;
      liveSids = security.liveSids;
      return 0;
    });
    EXPECT_EQ(created, 0);
    EXPECT_EQ(liveBlocks, 0);
    EXPECT_EQ(liveSids, 0);
  }
}

}  // namespace
