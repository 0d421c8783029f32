// The simulated registry: 9x versus NT delete rules, access checks against
// key owners and DACLs (the device keys only an administrator who replaces
// the DACL may delete), value sizes, enumeration order and handles of keys
// deleted meanwhile.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "sim/registry.h"
#include "sim/security.h"
#include "support/sim_fixture.h"

namespace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::LONG;

constexpr LONG kOk = 0;
constexpr LONG kNotFound = 2;
constexpr LONG kDenied = 5;
constexpr LONG kMoreData = 234;
constexpr LONG kNoMoreItems = 259;
constexpr LONG kKeyDeleted = 1018;
constexpr DWORD GENERIC_READ = 0x80000000u;

const char kDevice[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_6f29&Pid_6601";

enum class Who { Admin, User, DenyOnlyAdmin };

sim::TokenIdentity tokenOf(Who who) {
  return sim::userToken(who != Who::User, who == Who::DenyOnlyAdmin);
}

// A PC-wide store and one process's view of it.
struct RegistryRig {
  explicit RegistryRig(bool nt = true, Who who = Who::Admin)
      : store(nt), reg(sim::RegistryContext{store, tokenOf(who)}) {}
  sim::RegistryStore store;
  sim::SimRegistry reg;
};

// The descriptor a key-tree removal hands to regSetKeySecurity, built with
// the security services the way a program builds it: Administrators full
// access in an ACL of exactly SID length + 16 bytes.
class AdminFullDescriptor {
 public:
  AdminFullDescriptor()
      : store_(true),
        security_(sim::SecurityContext{store_, handles_,
                                       [this]() -> DWORD& { return error_; },
                                       sim::userToken(true, false), 1, "T"}) {
    const platform::SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    security_.allocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &sid_);
    const DWORD length = security_.getLengthSid(sid_) + 16;
    acl_ = static_cast<platform::ACL*>(security_.heapAlloc(length));
    security_.initializeAcl(acl_, length, platform::ACL_REVISION);
    security_.addAccessAllowedAce(acl_, platform::ACL_REVISION, 0xF003F, sid_);
    security_.initializeSecurityDescriptor(&sd_, 1);
    security_.setSecurityDescriptorDacl(&sd_, 1, acl_, 0);
  }
  ~AdminFullDescriptor() {
    security_.heapFree(acl_);
    security_.freeSid(sid_);
  }
  const platform::SECURITY_DESCRIPTOR* get() const { return &sd_; }
  platform::ACL* acl() { return acl_; }

 private:
  sim::RegistryStore store_;
  sim::HandleTable handles_;
  DWORD error_ = 0;
  sim::SimSecurity security_;
  platform::PSID sid_ = nullptr;
  platform::ACL* acl_ = nullptr;
  platform::SECURITY_DESCRIPTOR sd_{};
};

// ---------------------------------------------------------------- delete rules

struct DeleteCase {
  const char* name;
  bool nt;
  const char* path;
  LONG result;
  std::vector<std::string> deleted;  // the log, in order
};
void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.name; }

class DeleteRules : public testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteRules, NtDeletesLeavesOnly9xWholeSubtrees) {
  const DeleteCase& c = GetParam();
  RegistryRig rig(c.nt);
  rig.store.createKey(HKEY_LOCAL_MACHINE, "T\\a\\b");
  rig.store.createKey(HKEY_LOCAL_MACHINE, "T\\a\\c\\d");
  EXPECT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, c.path), c.result);
  EXPECT_EQ(rig.store.deletedKeys(HKEY_LOCAL_MACHINE), c.deleted);
  for (const std::string& gone : c.deleted)
    EXPECT_FALSE(rig.store.exists(HKEY_LOCAL_MACHINE, gone)) << gone;
  EXPECT_TRUE(rig.store.exists(HKEY_LOCAL_MACHINE, "T"));
}

INSTANTIATE_TEST_SUITE_P(
    Registry, DeleteRules,
    testing::Values(
        DeleteCase{"NtKeyWithSubkeys", true, "T\\a", kDenied, {}},
        DeleteCase{"NtLeaf", true, "T\\a\\c\\d", kOk, {"T\\a\\c\\d"}},
        DeleteCase{"NtOtherCase", true, "t\\A\\B", kOk, {"T\\a\\b"}},
        DeleteCase{"NtMissing", true, "T\\zz", kNotFound, {}},
        DeleteCase{"NtTrailingBackslash", true, "T\\a\\b\\", kOk, {"T\\a\\b"}},
        DeleteCase{"NineXSubtree", false, "T\\a", kOk,
                   {"T\\a\\b", "T\\a\\c\\d", "T\\a\\c", "T\\a"}},
        DeleteCase{"NineXMissing", false, "T\\zz", kNotFound, {}},
        DeleteCase{"LeadingBackslash", true, "\\T\\a\\b", sim::ERROR_BAD_PATHNAME, {}}),
    [](const testing::TestParamInfo<DeleteCase>& i) { return i.param.name; });

TEST(SimRegistry, NtTreeGoesBottomUpOneLeafAtATime) {
  RegistryRig rig;
  rig.store.createKey(HKEY_LOCAL_MACHINE, "a\\b");
  rig.store.createKey(HKEY_LOCAL_MACHINE, "a\\c\\d");
  for (const char* path : {"a\\c\\d", "a\\c", "a\\b", "a"})
    EXPECT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, path), kOk) << path;
  const std::vector<std::string> order = {"a\\c\\d", "a\\c", "a\\b", "a"};
  EXPECT_EQ(rig.store.deletedKeys(HKEY_LOCAL_MACHINE), order);
  EXPECT_TRUE(rig.store.subkeys(HKEY_LOCAL_MACHINE, "").empty());
}

TEST(SimRegistry, RootsCannotBeDeleted) {
  RegistryRig rig(false);
  EXPECT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, ""), kDenied);
  EXPECT_EQ(rig.reg.regDeleteKeyA(0x1234, "x"), 6);
}

// ---------------------------------------------------------------- device keys

struct DeviceCase {
  const char* name;
  Who who;
  LONG openWriteDac;
  LONG deleteAfter;  // after the DACL was replaced, when it could be
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

class DeviceKeys : public testing::TestWithParam<DeviceCase> {};

// The removal of a device key: open it for WRITE_DAC, put Administrators
// full access in its DACL, then delete it. Before the DACL is replaced even
// an administrator may not delete it.
TEST_P(DeviceKeys, OnlyAnAdministratorWhoReplacesTheDaclDeletes) {
  const DeviceCase& c = GetParam();
  RegistryRig rig(true, c.who);
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  rig.store.createKey(HKEY_LOCAL_MACHINE, kDevice, &device);

  EXPECT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, kDevice), kDenied);
  HKEY key = 0;
  ASSERT_EQ(rig.reg.regOpenKeyExA(HKEY_LOCAL_MACHINE, kDevice, 0,
                                  platform::WRITE_DAC, &key),
            c.openWriteDac);
  if (c.openWriteDac == kOk) {
    AdminFullDescriptor admins;
    EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION,
                                        admins.get()),
              kOk);
    EXPECT_EQ(rig.reg.regCloseKey(key), kOk);
    sim::KeySecurity expected = sim::KeySecurity::only(
        sim::sids::administrators(), platform::KEY_ALL_ACCESS);
    EXPECT_EQ(rig.store.security(HKEY_LOCAL_MACHINE, kDevice), expected);
  }
  EXPECT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, kDevice), c.deleteAfter);
  EXPECT_EQ(rig.store.exists(HKEY_LOCAL_MACHINE, kDevice), c.deleteAfter != kOk);
  EXPECT_EQ(rig.reg.openKeyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, DeviceKeys,
    testing::Values(DeviceCase{"Administrator", Who::Admin, kOk, kOk},
                    DeviceCase{"User", Who::User, kDenied, kDenied},
                    DeviceCase{"DenyOnlyAdministrator", Who::DenyOnlyAdmin,
                               kDenied, kDenied}),
    [](const testing::TestParamInfo<DeviceCase>& i) { return i.param.name; });

// ---------------------------------------------------------------- opens

struct MaximumCase {
  const char* name;
  bool nt;
  Who who;
  sim::KeySecurity security;
  LONG result;
  DWORD granted;
};
void PrintTo(const MaximumCase& c, std::ostream* os) { *os << c.name; }

class MaximumAllowed : public testing::TestWithParam<MaximumCase> {};

TEST_P(MaximumAllowed, RegOpenKeyGetsWhatTheDaclGrants) {
  const MaximumCase& c = GetParam();
  RegistryRig rig(c.nt, c.who);
  rig.store.createKey(HKEY_LOCAL_MACHINE, "K", &c.security);
  HKEY key = 0;
  EXPECT_EQ(rig.reg.regOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), c.result);
  EXPECT_EQ(rig.reg.grantedAccessOf(key), c.granted);
}

sim::KeySecurity nullDacl() {
  sim::KeySecurity s = sim::KeySecurity::deviceKey();
  s.nullDacl = true;
  return s;
}

sim::KeySecurity denyUsersWrite() {
  sim::KeySecurity s = sim::KeySecurity::machineKey();
  s.dacl.insert(s.dacl.begin(), sim::Ace{sim::ACCESS_DENIED_ACE_TYPE, 0,
                                         platform::KEY_SET_VALUE,
                                         sim::sids::users()});
  return s;
}

const DWORD kOwnerRights = platform::READ_CONTROL | platform::WRITE_DAC;
const sim::KeySecurity kSystemOnly =
    sim::KeySecurity::only(sim::sids::system(), platform::KEY_ALL_ACCESS);

INSTANTIATE_TEST_SUITE_P(
    Registry, MaximumAllowed,
    testing::Values(
        MaximumCase{"UserOnDeviceKey", true, Who::User, sim::KeySecurity::deviceKey(),
                    kOk, platform::KEY_READ},
        MaximumCase{"AdminOnDeviceKey", true, Who::Admin, sim::KeySecurity::deviceKey(),
                    kOk, platform::KEY_READ | kOwnerRights},
        MaximumCase{"UserOnSystemOnly", true, Who::User, kSystemOnly, kDenied, 0},
        MaximumCase{"OwnerOnSystemOnly", true, Who::Admin, kSystemOnly, kOk,
                    kOwnerRights},
        MaximumCase{"DenyOnlyOwnerOnSystemOnly", true, Who::DenyOnlyAdmin,
                    kSystemOnly, kDenied, 0},
        MaximumCase{"UserOnNullDacl", true, Who::User, nullDacl(), kOk,
                    platform::KEY_ALL_ACCESS},
        MaximumCase{"DeniedEntryComesFirst", true, Who::Admin, denyUsersWrite(),
                    kOk, platform::KEY_ALL_ACCESS & ~platform::KEY_SET_VALUE},
        MaximumCase{"NineXIgnoresSecurity", false, Who::User, kSystemOnly, kOk,
                    platform::KEY_ALL_ACCESS}),
    [](const testing::TestParamInfo<MaximumCase>& i) { return i.param.name; });

TEST(SimRegistry, RegOpenKeyExGrantsExactlyWhatWasAskedOrNothing) {
  struct Case {
    bool nt;
    const char* path;
    DWORD access;
    LONG result;
  } cases[] = {
      {true, kDevice, platform::KEY_READ, kOk},
      {true, kDevice, platform::KEY_QUERY_VALUE, kOk},
      {true, kDevice, GENERIC_READ, kOk},
      {true, kDevice, platform::KEY_SET_VALUE, kDenied},
      {true, kDevice, platform::DELETE, kDenied},
      {true, kDevice, platform::KEY_ALL_ACCESS, kDenied},
      {true, "SYSTEM\\Missing", platform::KEY_READ, kNotFound},
      {false, kDevice, platform::KEY_ALL_ACCESS, kOk},
  };
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  for (const Case& c : cases) {
    RegistryRig rig(c.nt, Who::User);
    rig.store.createKey(HKEY_LOCAL_MACHINE, kDevice, &device);
    HKEY key = 0;
    EXPECT_EQ(rig.reg.regOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, c.access, &key),
              c.result)
        << c.path << " " << std::hex << c.access;
    if (c.result == kOk && c.nt) {
      EXPECT_EQ(rig.reg.grantedAccessOf(key), c.access == GENERIC_READ
                                                   ? platform::KEY_READ
                                                   : c.access);
    }
    EXPECT_EQ(rig.reg.openKeyCount(), c.result == kOk ? 1u : 0u);
  }
}

// Every operation is checked against the handle's granted access, not the
// key's DACL: a handle opened for less cannot do more.
TEST(SimRegistry, OperationsNeedTheHandlesAccess) {
  enum Op { Query, Set, DeleteValue, Enum, Info, SetDacl };
  struct Case {
    DWORD access;
    Op op;
    LONG result;
  } cases[] = {
      {platform::KEY_QUERY_VALUE, Query, kOk},
      {platform::KEY_QUERY_VALUE, Info, kOk},
      {platform::KEY_QUERY_VALUE, Set, kDenied},
      {platform::KEY_QUERY_VALUE, Enum, kDenied},
      {platform::KEY_QUERY_VALUE, SetDacl, kDenied},
      {platform::KEY_ENUMERATE_SUB_KEYS, Enum, kOk},
      {platform::KEY_ENUMERATE_SUB_KEYS, Query, kDenied},
      {platform::KEY_ENUMERATE_SUB_KEYS, Info, kDenied},
      {platform::KEY_SET_VALUE, Set, kOk},
      {platform::KEY_SET_VALUE, DeleteValue, kOk},
      {platform::KEY_SET_VALUE, Query, kDenied},
      {platform::KEY_READ, DeleteValue, kDenied},
      {platform::WRITE_DAC, SetDacl, kOk},
      {platform::WRITE_DAC, Query, kDenied},
  };
  for (const Case& c : cases) {
    RegistryRig rig;
    rig.store.createKey(HKEY_LOCAL_MACHINE, "K\\child");
    rig.store.setValue(HKEY_LOCAL_MACHINE, "K", "v", platform::REG_DWORD, {1, 0, 0, 0});
    HKEY key = 0;
    ASSERT_EQ(rig.reg.regOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, c.access, &key), kOk);
    BYTE data[4];
    DWORD size = sizeof data;
    char name[16];
    DWORD count = 0;
    AdminFullDescriptor admins;
    LONG result = -1;
    switch (c.op) {
      case Query: result = rig.reg.regQueryValueExA(key, "v", nullptr, data, &size); break;
      case Set: result = rig.reg.regSetValueExA(key, "v", platform::REG_DWORD, data, 4); break;
      case DeleteValue: result = rig.reg.regDeleteValueA(key, "v"); break;
      case Enum: result = rig.reg.regEnumKeyA(key, 0, name, sizeof name); break;
      case Info: result = rig.reg.regQueryInfoKeyA(key, &count, nullptr, nullptr); break;
      case SetDacl:
        result = rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION,
                                           admins.get());
        break;
    }
    EXPECT_EQ(result, c.result) << "op " << c.op << " access " << std::hex << c.access;
  }
}

TEST(SimRegistry, RegOpenKeyWithoutNameGivesTheSameHandle) {
  RegistryRig rig;
  rig.store.createKey(HKEY_LOCAL_MACHINE, "K");
  HKEY key = 0, same = 0, fresh = 0;
  ASSERT_EQ(rig.reg.regOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), kOk);
  EXPECT_EQ(key, 0x1000u);
  EXPECT_EQ(rig.reg.regOpenKeyA(key, "", &same), kOk);
  EXPECT_EQ(same, key);
  EXPECT_EQ(rig.reg.regOpenKeyExA(key, nullptr, 0, platform::KEY_READ, &fresh), kOk);
  EXPECT_EQ(fresh, 0x1004u);
  EXPECT_EQ(rig.reg.openKeyCount(), 2u);
  EXPECT_EQ(rig.reg.regCloseKey(key), kOk);
  EXPECT_EQ(rig.reg.regCloseKey(key), 6);
  EXPECT_EQ(rig.reg.regCloseKey(HKEY_LOCAL_MACHINE), kOk);
  EXPECT_EQ(rig.reg.regQueryInfoKeyA(key, nullptr, nullptr, nullptr), 6);
}

// ---------------------------------------------------------------- create

struct CreateCase {
  const char* name;
  bool nt;
  Who who;
  HKEY root;
  LONG result;
  sim::SidBytes owner;
};
void PrintTo(const CreateCase& c, std::ostream* os) { *os << c.name; }

class CreateKeys : public testing::TestWithParam<CreateCase> {};

TEST_P(CreateKeys, MissingLevelsAreCreatedWithTheDefaultDescriptor) {
  const CreateCase& c = GetParam();
  RegistryRig rig(c.nt, c.who);
  const char path[] = "Software\\VELDANIX\\Norbix";
  HKEY key = 0;
  DWORD disposition = 0;
  ASSERT_EQ(rig.reg.regCreateKeyExA(c.root, path, platform::KEY_ALL_ACCESS, &key,
                                    &disposition),
            c.result);
  EXPECT_EQ(rig.store.exists(c.root, path), c.result == kOk);
  if (c.result != kOk) {
    EXPECT_FALSE(rig.store.exists(c.root, "Software"));
    return;
  }
  EXPECT_EQ(disposition, platform::REG_CREATED_NEW_KEY);
  const sim::KeySecurity created = *rig.store.security(c.root, path);
  EXPECT_EQ(created.owner, c.owner);
  EXPECT_EQ(created, sim::KeySecurity::createdBy(tokenOf(c.who)));
  EXPECT_EQ(*rig.store.security(c.root, "Software"), created);

  HKEY again = 0;
  ASSERT_EQ(rig.reg.regCreateKeyExA(c.root, "SOFTWARE\\veldanix\\NORBIX",
                                    platform::KEY_READ, &again, &disposition),
            kOk);
  EXPECT_EQ(disposition, platform::REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(rig.store.subkeys(c.root, "Software"), std::vector<std::string>{"VELDANIX"});
}

INSTANTIATE_TEST_SUITE_P(
    Registry, CreateKeys,
    testing::Values(
        CreateCase{"AdminInMachine", true, Who::Admin, HKEY_LOCAL_MACHINE, kOk,
                   sim::sids::administrators()},
        CreateCase{"UserInMachine", true, Who::User, HKEY_LOCAL_MACHINE, kDenied, {}},
        CreateCase{"UserInCurrentUser", true, Who::User, HKEY_CURRENT_USER, kOk,
                   sim::sids::interactiveUser()},
        CreateCase{"DenyOnlyAdminInCurrentUser", true, Who::DenyOnlyAdmin,
                   HKEY_CURRENT_USER, kOk, sim::sids::interactiveUser()},
        CreateCase{"DenyOnlyAdminInMachine", true, Who::DenyOnlyAdmin,
                   HKEY_LOCAL_MACHINE, kDenied, {}},
        CreateCase{"NineXUserInMachine", false, Who::User, HKEY_LOCAL_MACHINE, kOk,
                   sim::sids::interactiveUser()}),
    [](const testing::TestParamInfo<CreateCase>& i) { return i.param.name; });

TEST(SimRegistry, CreatingAnExistingKeyStillChecksTheAccessAsked) {
  RegistryRig rig(true, Who::User);
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  rig.store.createKey(HKEY_LOCAL_MACHINE, kDevice, &device);
  HKEY key = 0;
  DWORD disposition = 0;
  EXPECT_EQ(rig.reg.regCreateKeyExA(HKEY_LOCAL_MACHINE, kDevice, platform::KEY_WRITE,
                                    &key, &disposition),
            kDenied);
  EXPECT_EQ(rig.reg.regCreateKeyExA(HKEY_LOCAL_MACHINE, kDevice, platform::KEY_READ,
                                    &key, &disposition),
            kOk);
  EXPECT_EQ(disposition, platform::REG_OPENED_EXISTING_KEY);
}

// ---------------------------------------------------------------- values

struct ValueCase {
  const char* name;
  const char* valueName;
  bool withData;
  DWORD bufferSize;
  bool nullSize;
  LONG result;
  DWORD sizeOut;
  bool copied;
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class ValueSizes : public testing::TestWithParam<ValueCase> {};

TEST_P(ValueSizes, Win32SizeRules) {
  const ValueCase& c = GetParam();
  RegistryRig rig(true, Who::User);
  std::vector<BYTE> block(256);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7);
  HKEY key = 0;
  ASSERT_EQ(rig.reg.regCreateKeyExA(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix",
                                    platform::KEY_ALL_ACCESS, &key, nullptr),
            kOk);
  ASSERT_EQ(rig.reg.regSetValueExA(key, "Last EEPROM Data", platform::REG_BINARY,
                                   block.data(), 256),
            kOk);

  std::vector<BYTE> buffer(300, 0xEE);
  DWORD size = c.bufferSize;
  DWORD type = 99;
  EXPECT_EQ(rig.reg.regQueryValueExA(key, c.valueName, &type,
                                     c.withData ? buffer.data() : nullptr,
                                     c.nullSize ? nullptr : &size),
            c.result);
  if (!c.nullSize) {
    EXPECT_EQ(size, c.sizeOut);
  }
  if (c.result == kOk || c.result == kMoreData) {
    EXPECT_EQ(type, platform::REG_BINARY);
  }
  std::vector<BYTE> expected(300, 0xEE);
  if (c.copied) std::copy(block.begin(), block.end(), expected.begin());
  EXPECT_EQ(buffer, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, ValueSizes,
    testing::Values(
        ValueCase{"AskForTheSize", "Last EEPROM Data", false, 0, false, kOk, 256, false},
        ValueCase{"OneByteShort", "Last EEPROM Data", true, 255, false, kMoreData, 256, false},
        ValueCase{"Exact", "Last EEPROM Data", true, 256, false, kOk, 256, true},
        ValueCase{"Larger", "Last EEPROM Data", true, 300, false, kOk, 256, true},
        ValueCase{"NameInOtherCase", "last eeprom data", true, 256, false, kOk, 256, true},
        ValueCase{"Missing", "Other", true, 256, false, kNotFound, 256, false},
        ValueCase{"DataWithoutSize", "Last EEPROM Data", true, 0, true, 87, 0, false}),
    [](const testing::TestParamInfo<ValueCase>& i) { return i.param.name; });

TEST(SimRegistry, SetAndDeleteValues) {
  RegistryRig rig;
  HKEY key = 0;
  ASSERT_EQ(rig.reg.regCreateKeyExA(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix",
                                    platform::KEY_ALL_ACCESS, &key, nullptr),
            kOk);
  const BYTE one[] = {1, 2, 3};
  const BYTE two[] = {9};
  EXPECT_EQ(rig.reg.regSetValueExA(key, "Last EEPROM Data", platform::REG_BINARY, one, 3), kOk);
  EXPECT_EQ(rig.reg.regSetValueExA(key, "LAST EEPROM DATA", platform::REG_BINARY, two, 1), kOk);
  EXPECT_EQ(rig.reg.regSetValueExA(key, nullptr, platform::REG_SZ,
                                   reinterpret_cast<const BYTE*>("x"), 2),
            kOk);
  EXPECT_EQ(rig.store.value(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix", "Last EEPROM Data"),
            (sim::RegValue{platform::REG_BINARY, {9}}));
  EXPECT_EQ(rig.store.value(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix", ""),
            (sim::RegValue{platform::REG_SZ, {'x', 0}}));
  DWORD values = 0;
  EXPECT_EQ(rig.reg.regQueryInfoKeyA(key, nullptr, nullptr, &values), kOk);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(rig.reg.regDeleteValueA(key, "last eeprom data"), kOk);
  EXPECT_EQ(rig.reg.regDeleteValueA(key, "Last EEPROM Data"), kNotFound);
  EXPECT_FALSE(rig.store.value(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix",
                               "Last EEPROM Data"));
  EXPECT_EQ(rig.reg.regSetValueExA(key, "v", platform::REG_BINARY, nullptr, 4), 87);
}

// ---------------------------------------------------------------- enumeration

TEST(SimRegistry, SubkeysEnumerateByUpperCasedName) {
  RegistryRig rig;
  for (const char* name : {"beta", "_under", "Alpha", "gamma", "DELTA", "Zeta"})
    rig.store.createKey(HKEY_LOCAL_MACHINE, std::string("E\\") + name);
  rig.store.createKey(HKEY_LOCAL_MACHINE, "E\\ALPHA\\deeper");  // same key as Alpha
  rig.store.setValue(HKEY_LOCAL_MACHINE, "E", "v", platform::REG_DWORD, {0, 0, 0, 0});

  HKEY key = 0;
  ASSERT_EQ(rig.reg.regOpenKeyA(HKEY_LOCAL_MACHINE, "e", &key), kOk);
  // '_' is 0x5F, after the upper-case letters.
  const std::vector<std::string> order = {"Alpha", "beta", "DELTA", "gamma", "Zeta", "_under"};
  std::vector<std::string> seen;
  char name[512];
  DWORD index = 0;
  LONG result;
  while ((result = rig.reg.regEnumKeyA(key, index, name, sizeof name)) == kOk) {
    seen.push_back(name);
    ++index;
  }
  EXPECT_EQ(result, kNoMoreItems);
  EXPECT_EQ(seen, order);
  EXPECT_EQ(rig.store.subkeys(HKEY_LOCAL_MACHINE, "E"), order);

  DWORD subKeys = 0, longest = 0, values = 0;
  ASSERT_EQ(rig.reg.regQueryInfoKeyA(key, &subKeys, &longest, &values), kOk);
  EXPECT_EQ(subKeys, 6u);
  EXPECT_EQ(longest, 6u);  // "_under", without the terminating NUL
  EXPECT_EQ(values, 1u);

  // "_under" needs 7 bytes with its NUL.
  std::memset(name, 'X', sizeof name);
  EXPECT_EQ(rig.reg.regEnumKeyA(key, 5, name, 6), kMoreData);
  EXPECT_EQ(name[0], 'X');
  EXPECT_EQ(rig.reg.regEnumKeyA(key, 5, name, 7), kOk);
  EXPECT_STREQ(name, "_under");
}

// ---------------------------------------------------------------- deleted keys

TEST(SimRegistry, HandlesOfDeletedKeysGiveKeyDeleted) {
  for (bool nt : {true, false}) {
    RegistryRig rig(nt);
    rig.store.createKey(HKEY_LOCAL_MACHINE, "K\\x\\y");
    HKEY x = 0, y = 0;
    ASSERT_EQ(rig.reg.regOpenKeyA(HKEY_LOCAL_MACHINE, "K\\x", &x), kOk);
    ASSERT_EQ(rig.reg.regOpenKeyA(HKEY_LOCAL_MACHINE, "K\\x\\y", &y), kOk);
    if (nt) {
      ASSERT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, "K\\x\\y"), kOk);
    }
    ASSERT_EQ(rig.reg.regDeleteKeyA(HKEY_LOCAL_MACHINE, "K\\x"), kOk);

    char name[16];
    DWORD size = 0;
    HKEY child = 0;
    for (HKEY gone : {x, y}) {
      EXPECT_EQ(rig.reg.regQueryValueExA(gone, "v", nullptr, nullptr, &size), kKeyDeleted);
      EXPECT_EQ(rig.reg.regSetValueExA(gone, "v", platform::REG_BINARY, nullptr, 0),
                kKeyDeleted);
      EXPECT_EQ(rig.reg.regEnumKeyA(gone, 0, name, sizeof name), kKeyDeleted);
      EXPECT_EQ(rig.reg.regQueryInfoKeyA(gone, nullptr, nullptr, nullptr), kKeyDeleted);
      EXPECT_EQ(rig.reg.regCreateKeyExA(gone, "new", platform::KEY_ALL_ACCESS, &child,
                                        nullptr),
                kKeyDeleted);
      EXPECT_EQ(rig.reg.regCloseKey(gone), kOk);
    }
    // A key of the same name made afterwards is a new key.
    rig.store.createKey(HKEY_LOCAL_MACHINE, "K\\x");
    EXPECT_TRUE(rig.store.subkeys(HKEY_LOCAL_MACHINE, "K\\x").empty());
  }
}

// ---------------------------------------------------------------- descriptors

TEST(SimRegistry, SetKeySecurityStoresTheDaclOrRefusesIt) {
  RegistryRig rig;
  rig.store.createKey(HKEY_LOCAL_MACHINE, "K");
  const sim::KeySecurity before = *rig.store.security(HKEY_LOCAL_MACHINE, "K");
  HKEY key = 0;
  ASSERT_EQ(rig.reg.regOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0,
                                  platform::WRITE_DAC | platform::WRITE_OWNER, &key),
            kOk);

  // An ACL claiming two entries but holding one is refused and changes
  // nothing.
  AdminFullDescriptor broken;
  broken.acl()->AceCount = 2;
  EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION,
                                      broken.get()),
            sim::ERROR_INVALID_ACL);
  EXPECT_EQ(rig.store.security(HKEY_LOCAL_MACHINE, "K"), before);

  // A present but null DACL opens the key to everyone.
  platform::SECURITY_DESCRIPTOR open{1, 0, platform::SE_DACL_PRESENT, nullptr,
                                     nullptr, nullptr, nullptr};
  EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION, &open),
            kOk);
  EXPECT_TRUE(rig.store.security(HKEY_LOCAL_MACHINE, "K")->nullDacl);
  sim::SimRegistry user(sim::RegistryContext{rig.store, tokenOf(Who::User)});
  HKEY userKey = 0;
  EXPECT_EQ(user.regOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, platform::KEY_ALL_ACCESS,
                               &userKey),
            kOk);

  // The owner may become Administrators for an administrator, never for a
  // user who is not one.
  sim::SidBytes admins = sim::sids::administrators();
  platform::SECURITY_DESCRIPTOR owner{1, 0, 0, admins.data(), nullptr, nullptr, nullptr};
  EXPECT_EQ(user.regSetKeySecurity(userKey, platform::OWNER_SECURITY_INFORMATION, &owner),
            sim::ERROR_INVALID_OWNER);
  EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::OWNER_SECURITY_INFORMATION, &owner),
            kOk);
  EXPECT_EQ(rig.store.security(HKEY_LOCAL_MACHINE, "K")->owner, admins);

  platform::SECURITY_DESCRIPTOR badRevision = open;
  badRevision.Revision = 2;
  EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION,
                                      &badRevision),
            sim::ERROR_INVALID_SECURITY_DESCR);
}

TEST(SimRegistry, NineXHasNoKeySecurity) {
  RegistryRig rig(false, Who::User);
  rig.store.createKey(HKEY_LOCAL_MACHINE, "K");
  HKEY key = 0;
  ASSERT_EQ(rig.reg.regOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, platform::WRITE_DAC, &key),
            kOk);
  AdminFullDescriptor admins;
  EXPECT_EQ(rig.reg.regSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION,
                                      admins.get()),
            static_cast<LONG>(platform::ERROR_CALL_NOT_IMPLEMENTED));
}

// ---------------------------------------------------------------- on the PC

// A process's registry uses the PC's store and the token of the PC's user.
TEST(SimRegistry, ProcessesShareThePcStoreWithTheirToken) {
  for (bool administrator : {true, false}) {
    sim::PcConfig config;
    config.administrator = administrator;
    testsupport::TestPc pc(config);
    LONG machine = -1, user = -1;
    pc.runProgram([&](platform::Platform& p) -> DWORD {
      HKEY key = 0;
      machine = p.registry.regCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VELDANIX",
                                           platform::KEY_ALL_ACCESS, &key, nullptr);
      if (machine == kOk) p.registry.regCloseKey(key);
      user = p.registry.regCreateKeyExA(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix",
                                        platform::KEY_ALL_ACCESS, &key, nullptr);
      const BYTE data[] = {0xAB};
      p.registry.regSetValueExA(key, "Last EEPROM Data", platform::REG_BINARY, data, 1);
      p.registry.regCloseKey(key);
      return 0;
    });
    EXPECT_EQ(machine, administrator ? kOk : kDenied);
    EXPECT_EQ(user, kOk);
    EXPECT_EQ(pc->registry().value(HKEY_CURRENT_USER, "Software\\VELDANIX\\Norbix",
                                   "Last EEPROM Data"),
              (sim::RegValue{platform::REG_BINARY, {0xAB}}));
  }
}

}  // namespace
