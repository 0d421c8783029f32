// The simulated registry: one store per PC (keys, values, owners and access
// lists, the delete rules of the Windows family) and a per-process view that
// implements platform::Registry with the process's access token.
//
// Key and value names match without regard to case and keep the case they
// were created with; subkeys enumerate in the order of their upper-cased
// names, as Windows keeps them. On the 9x family there is no security: every
// open gets full access whatever it asks, and deleting a key removes its
// whole subtree. On NT each key has an owner and a DACL that opens are
// checked against, and a key with subkeys cannot be deleted.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "security.h"

namespace sim {

class Process;

struct RegValue {
  platform::DWORD type = platform::REG_NONE;
  std::vector<platform::BYTE> data;
  bool operator==(const RegValue& o) const {
    return type == o.type && data == o.data;
  }
};

// One entry of a key's DACL. Masks are stored with generic rights already
// mapped to key rights, as Windows stores them.
struct Ace {
  platform::BYTE type = platform::ACCESS_ALLOWED_ACE_TYPE;
  platform::BYTE flags = 0;
  platform::DWORD mask = 0;
  SidBytes sid;
  bool operator==(const Ace& o) const {
    return type == o.type && flags == o.flags && mask == o.mask &&
           sid == o.sid;
  }
};

struct KeySecurity {
  SidBytes owner;
  SidBytes group;         // kept, never checked
  bool nullDacl = false;  // no DACL at all: everyone gets full access
  std::vector<Ace> dacl;  // checked in order (denied entries first by habit)

  // The descriptor Windows gives the keys below Enum: owner Administrators,
  // SYSTEM full control, Everyone read only. Only an administrator who
  // replaces the DACL (as owner) may delete such a key.
  static KeySecurity deviceKey();
  // Keys of HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT and HKEY_USERS: owner
  // Administrators, SYSTEM and Administrators full, Everyone read.
  static KeySecurity machineKey();
  // Keys of HKEY_CURRENT_USER: owner the PC's user, SYSTEM, Administrators
  // and the user full.
  static KeySecurity userKey();
  // What a key created through regCreateKeyExA gets: owner the token's
  // default owner, SYSTEM, Administrators and the creating user full,
  // Everyone read.
  static KeySecurity createdBy(const TokenIdentity& token);
  // Only `sid`, with `mask`; owner Administrators.
  static KeySecurity only(const SidBytes& sid, platform::DWORD mask);

  bool operator==(const KeySecurity& o) const {
    return owner == o.owner && group == o.group && nullDacl == o.nullDacl &&
           dacl == o.dacl;
  }
};

// What `token` may do to a key with `security`: the union of the allowed
// entries that apply to it minus what denied entries before them took away,
// plus READ_CONTROL and WRITE_DAC for the owner.
platform::DWORD grantedAccess(const KeySecurity& security,
                              const TokenIdentity& token);
// Generic rights (GENERIC_READ …) turned into key rights.
platform::DWORD mapGenericKeyRights(platform::DWORD mask);

struct RegKey;

class RegistryStore {
 public:
  explicit RegistryStore(bool nt);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool nt() const { return nt_; }

  // ---- Set-up and inspection for tests; paths are relative to `root`,
  // components separated by single backslashes. ----

  // Creates every missing key of `path`. The last key gets `security` when
  // given (also when it already existed); keys created without one get the
  // default of their root (machineKey or userKey).
  void createKey(platform::HKEY root, const std::string& path,
                 const KeySecurity* security = nullptr);
  bool exists(platform::HKEY root, const std::string& path) const;
  // Subkey names in enumeration order; empty when the key does not exist.
  std::vector<std::string> subkeys(platform::HKEY root,
                                   const std::string& path) const;
  std::optional<RegValue> value(platform::HKEY root, const std::string& path,
                                const std::string& name) const;
  // Creates the key like createKey when it is missing.
  void setValue(platform::HKEY root, const std::string& path,
                const std::string& name, platform::DWORD type,
                std::vector<platform::BYTE> data);
  std::optional<KeySecurity> security(platform::HKEY root,
                                      const std::string& path) const;
  void setSecurity(platform::HKEY root, const std::string& path,
                   const KeySecurity& security);

  // Paths (relative to `root`, in the case they were created with) of the
  // keys deleted so far, in the order they went.
  std::vector<std::string> deletedKeys(platform::HKEY root) const;
  void clearDeletionLog() { deletions_.clear(); }

  // The PC's record of privilege changes. It sits here because the
  // registry is where Windows keeps its security database too; the shutdown
  // code and tests read it.
  void recordPrivilege(PrivilegeChange change) {
    privilegeLog_.push_back(std::move(change));
  }
  const std::vector<PrivilegeChange>& privilegeLog() const {
    return privilegeLog_;
  }
  // Whether the last change of `privilege` by process `process` enabled it.
  bool privilegeEnabled(int process, const std::string& privilege) const;

 private:
  friend class SimRegistry;

  std::shared_ptr<RegKey> rootKey(platform::HKEY root) const;
  std::shared_ptr<RegKey> find(platform::HKEY root,
                               const std::string& path) const;
  std::shared_ptr<RegKey> addSubkey(RegKey& parent, const std::string& name,
                                    KeySecurity security);
  // NT removes one leaf key, 9x a whole subtree; children go first.
  void remove(std::shared_ptr<RegKey> key);

  struct Deletion {
    platform::HKEY root;
    std::string path;
  };

  bool nt_;
  std::map<platform::HKEY, std::shared_ptr<RegKey>> roots_;
  std::vector<Deletion> deletions_;
  std::vector<PrivilegeChange> privilegeLog_;
};

// What a SimRegistry works with; a Process supplies it.
struct RegistryContext {
  RegistryStore& store;
  TokenIdentity token;
};

class SimRegistry : public platform::Registry {
 public:
  explicit SimRegistry(Process& process);
  explicit SimRegistry(RegistryContext context);
  ~SimRegistry() override;

  platform::LONG regCreateKeyExA(platform::HKEY root, const char* subKey,
                                 platform::DWORD access, platform::HKEY* result,
                                 platform::DWORD* disposition) override;
  platform::LONG regOpenKeyA(platform::HKEY root, const char* subKey,
                             platform::HKEY* result) override;
  platform::LONG regOpenKeyExA(platform::HKEY root, const char* subKey,
                               platform::DWORD options, platform::DWORD access,
                               platform::HKEY* result) override;
  platform::LONG regCloseKey(platform::HKEY key) override;
  platform::LONG regQueryValueExA(platform::HKEY key, const char* name,
                                  platform::DWORD* type, platform::BYTE* data,
                                  platform::DWORD* size) override;
  platform::LONG regSetValueExA(platform::HKEY key, const char* name,
                                platform::DWORD type,
                                const platform::BYTE* data,
                                platform::DWORD size) override;
  platform::LONG regDeleteValueA(platform::HKEY key, const char* name) override;
  platform::LONG regEnumKeyA(platform::HKEY key, platform::DWORD index,
                             char* name, platform::DWORD nameSize) override;
  platform::LONG regQueryInfoKeyA(platform::HKEY key, platform::DWORD* subKeys,
                                  platform::DWORD* maxSubKeyLength,
                                  platform::DWORD* values) override;
  platform::LONG regSetKeySecurity(
      platform::HKEY key, platform::DWORD information,
      const platform::SECURITY_DESCRIPTOR* descriptor) override;
  platform::LONG regDeleteKeyA(platform::HKEY root,
                               const char* subKey) override;

  // Handles from open and create calls not yet closed.
  std::size_t openKeyCount() const { return open_.size(); }
  // The access a handle was granted (0 for an unknown handle).
  platform::DWORD grantedAccessOf(platform::HKEY key) const;

 private:
  struct OpenKey {
    std::shared_ptr<RegKey> key;
    platform::DWORD granted;
  };
  struct Resolved {
    platform::LONG error;
    std::shared_ptr<RegKey> key;
    platform::DWORD granted;  // of the handle it came from
  };

  Resolved resolveHandle(platform::HKEY key) const;
  Resolved usable(platform::HKEY key, platform::DWORD needed) const;
  platform::LONG walk(platform::HKEY base, const char* subKey,
                      std::shared_ptr<RegKey>* found) const;
  platform::LONG grant(const RegKey& key, platform::DWORD access,
                       platform::DWORD* granted) const;
  platform::HKEY addHandle(std::shared_ptr<RegKey> key, platform::DWORD granted);
  platform::LONG storeDescriptor(RegKey& key, platform::DWORD information,
                                 const platform::SECURITY_DESCRIPTOR& sd) const;

  RegistryStore& store_;
  TokenIdentity token_;
  std::map<platform::HKEY, OpenKey> open_;
  platform::HKEY next_ = 0x1000;
};

}  // namespace sim
