#include "registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "pc.h"
#include "process.h"

namespace sim {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::LONG;
using platform::WORD;

namespace {

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD KEY_EXECUTE = platform::KEY_READ;
// Flags a caller may add to the access it asks for that are not rights.
constexpr DWORD KEY_WOW64_FLAGS = 0x0300;
constexpr DWORD kAllKeyRights = platform::KEY_ALL_ACCESS;

LONG code(DWORD error) { return static_cast<LONG>(error); }

int upper(char c) { return std::toupper(static_cast<unsigned char>(c)); }

// Windows orders and matches key names by their upper-cased form, so "_"
// (0x5F) sorts after the letters.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](char x, char y) { return upper(x) < upper(y); });
  }
};

bool validRoot(HKEY root) {
  return root == platform::HKEY_CLASSES_ROOT ||
         root == platform::HKEY_CURRENT_USER ||
         root == platform::HKEY_LOCAL_MACHINE || root == platform::HKEY_USERS;
}

// Splits "A\B\C" into its names. A trailing backslash is tolerated as
// Windows does; an empty name (leading or doubled backslash) is not.
bool splitPath(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  std::string p = path;
  if (!p.empty() && p.back() == '\\') p.pop_back();
  if (p.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = p.find('\\', start);
    std::string name = p.substr(start, end == std::string::npos
                                           ? std::string::npos
                                           : end - start);
    if (name.empty()) return false;
    names->push_back(std::move(name));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

KeySecurity withAces(SidBytes owner, std::vector<Ace> aces) {
  KeySecurity s;
  s.owner = std::move(owner);
  s.dacl = std::move(aces);
  return s;
}

Ace allow(SidBytes sid, DWORD mask) {
  return Ace{platform::ACCESS_ALLOWED_ACE_TYPE, 0, mask, std::move(sid)};
}

}  // namespace

struct RegKey {
  std::string name;
  RegKey* parent = nullptr;  // null for a root
  HKEY root = 0;
  bool deleted = false;
  KeySecurity security;
  std::map<std::string, std::shared_ptr<RegKey>, NoCaseLess> subkeys;
  std::map<std::string, RegValue, NoCaseLess> values;

  std::string path() const {
    if (!parent) return std::string();
    if (!parent->parent) return name;
    return parent->path() + "\\" + name;
  }
};

// ---------------------------------------------------------------- security

KeySecurity KeySecurity::deviceKey() {
  return withAces(sids::administrators(),
                  {allow(sids::system(), platform::KEY_ALL_ACCESS),
                   allow(sids::everyone(), platform::KEY_READ)});
}

KeySecurity KeySecurity::machineKey() {
  return withAces(sids::administrators(),
                  {allow(sids::system(), platform::KEY_ALL_ACCESS),
                   allow(sids::administrators(), platform::KEY_ALL_ACCESS),
                   allow(sids::everyone(), platform::KEY_READ)});
}

KeySecurity KeySecurity::userKey() {
  return withAces(sids::interactiveUser(),
                  {allow(sids::system(), platform::KEY_ALL_ACCESS),
                   allow(sids::administrators(), platform::KEY_ALL_ACCESS),
                   allow(sids::interactiveUser(), platform::KEY_ALL_ACCESS)});
}

KeySecurity KeySecurity::createdBy(const TokenIdentity& token) {
  return withAces(token.defaultOwner,
                  {allow(sids::system(), platform::KEY_ALL_ACCESS),
                   allow(sids::administrators(), platform::KEY_ALL_ACCESS),
                   allow(token.user, platform::KEY_ALL_ACCESS),
                   allow(sids::everyone(), platform::KEY_READ)});
}

KeySecurity KeySecurity::only(const SidBytes& sid, DWORD mask) {
  return withAces(sids::administrators(), {allow(sid, mask)});
}

DWORD mapGenericKeyRights(DWORD mask) {
  DWORD mapped = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                          GENERIC_ALL);
  if (mask & GENERIC_READ) mapped |= platform::KEY_READ;
  if (mask & GENERIC_WRITE) mapped |= platform::KEY_WRITE;
  if (mask & GENERIC_EXECUTE) mapped |= KEY_EXECUTE;
  if (mask & GENERIC_ALL) mapped |= platform::KEY_ALL_ACCESS;
  return mapped;
}

DWORD grantedAccess(const KeySecurity& security, const TokenIdentity& token) {
  if (security.nullDacl) return kAllKeyRights;
  DWORD granted = 0;
  DWORD denied = 0;
  // Owner rights come first so that no denied entry can lock the owner out
  // of repairing the DACL.
  if (token.grantsAs(security.owner))
    granted |= platform::READ_CONTROL | platform::WRITE_DAC;
  for (const Ace& ace : security.dacl) {
    if (ace.flags & INHERIT_ONLY_ACE) continue;
    const DWORD mask = mapGenericKeyRights(ace.mask) & kAllKeyRights;
    if (ace.type == platform::ACCESS_ALLOWED_ACE_TYPE &&
        token.grantsAs(ace.sid)) {
      granted |= mask & ~denied;
    } else if (ace.type == ACCESS_DENIED_ACE_TYPE && token.deniedAs(ace.sid)) {
      denied |= mask & ~granted;
    }
  }
  return granted;
}

// ---------------------------------------------------------------- store

RegistryStore::RegistryStore(bool nt) : nt_(nt) {
  for (HKEY root : {platform::HKEY_CLASSES_ROOT, platform::HKEY_CURRENT_USER,
                    platform::HKEY_LOCAL_MACHINE, platform::HKEY_USERS}) {
    auto key = std::make_shared<RegKey>();
    key->root = root;
    key->security = root == platform::HKEY_CURRENT_USER
                        ? KeySecurity::userKey()
                        : KeySecurity::machineKey();
    roots_[root] = std::move(key);
  }
}

RegistryStore::~RegistryStore() = default;

std::shared_ptr<RegKey> RegistryStore::rootKey(HKEY root) const {
  auto it = roots_.find(root);
  return it == roots_.end() ? nullptr : it->second;
}

std::shared_ptr<RegKey> RegistryStore::find(HKEY root,
                                            const std::string& path) const {
  std::vector<std::string> names;
  std::shared_ptr<RegKey> key = rootKey(root);
  if (!key || !splitPath(path, &names)) return nullptr;
  for (const std::string& name : names) {
    auto it = key->subkeys.find(name);
    if (it == key->subkeys.end()) return nullptr;
    key = it->second;
  }
  return key;
}

std::shared_ptr<RegKey> RegistryStore::addSubkey(RegKey& parent,
                                                 const std::string& name,
                                                 KeySecurity security) {
  auto key = std::make_shared<RegKey>();
  key->name = name;
  key->parent = &parent;
  key->root = parent.root;
  key->security = std::move(security);
  parent.subkeys[name] = key;
  return key;
}

void RegistryStore::remove(std::shared_ptr<RegKey> key) {
  // Children first, so the log reads bottom-up as a recursive removal
  // would have done it. On NT callers only pass leaf keys.
  while (!key->subkeys.empty()) remove(key->subkeys.begin()->second);
  deletions_.push_back({key->root, key->path()});
  key->deleted = true;
  key->values.clear();
  RegKey* parent = key->parent;
  key->parent = nullptr;
  const std::string name = key->name;
  parent->subkeys.erase(name);
}

void RegistryStore::createKey(HKEY root, const std::string& path,
                              const KeySecurity* security) {
  std::vector<std::string> names;
  std::shared_ptr<RegKey> key = rootKey(root);
  if (!key || !splitPath(path, &names)) return;
  const KeySecurity fallback = root == platform::HKEY_CURRENT_USER
                                   ? KeySecurity::userKey()
                                   : KeySecurity::machineKey();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    auto it = key->subkeys.find(names[i]);
    if (it != key->subkeys.end()) {
      key = it->second;
    } else {
      key = addSubkey(*key, names[i],
                      last && security ? *security : fallback);
    }
  }
  if (security) key->security = *security;
}

bool RegistryStore::exists(HKEY root, const std::string& path) const {
  return find(root, path) != nullptr;
}

std::vector<std::string> RegistryStore::subkeys(HKEY root,
                                                const std::string& path) const {
  std::vector<std::string> names;
  if (auto key = find(root, path)) {
    for (const auto& entry : key->subkeys) names.push_back(entry.second->name);
  }
  return names;
}

std::optional<RegValue> RegistryStore::value(HKEY root,
                                             const std::string& path,
                                             const std::string& name) const {
  auto key = find(root, path);
  if (!key) return std::nullopt;
  auto it = key->values.find(name);
  if (it == key->values.end()) return std::nullopt;
  return it->second;
}

void RegistryStore::setValue(HKEY root, const std::string& path,
                             const std::string& name, DWORD type,
                             std::vector<BYTE> data) {
  createKey(root, path);
  if (auto key = find(root, path))
    key->values[name] = RegValue{type, std::move(data)};
}

std::optional<KeySecurity> RegistryStore::security(
    HKEY root, const std::string& path) const {
  auto key = find(root, path);
  if (!key) return std::nullopt;
  return key->security;
}

void RegistryStore::setSecurity(HKEY root, const std::string& path,
                                const KeySecurity& security) {
  if (auto key = find(root, path)) key->security = security;
}

std::vector<std::string> RegistryStore::deletedKeys(HKEY root) const {
  std::vector<std::string> paths;
  for (const Deletion& d : deletions_) {
    if (d.root == root) paths.push_back(d.path);
  }
  return paths;
}

bool RegistryStore::privilegeEnabled(int process,
                                     const std::string& privilege) const {
  for (auto it = privilegeLog_.rbegin(); it != privilegeLog_.rend(); ++it) {
    if (it->process == process && it->privilege == privilege)
      return it->enabled;
  }
  return false;
}

// ---------------------------------------------------------------- view

SimRegistry::SimRegistry(Process& process)
    : SimRegistry(RegistryContext{process.pc().registry(),
                                  tokenFor(process.pc().config())}) {}

SimRegistry::SimRegistry(RegistryContext context)
    : store_(context.store), token_(std::move(context.token)) {}

SimRegistry::~SimRegistry() = default;

DWORD SimRegistry::grantedAccessOf(HKEY key) const {
  auto it = open_.find(key);
  return it == open_.end() ? 0 : it->second.granted;
}

HKEY SimRegistry::addHandle(std::shared_ptr<RegKey> key, DWORD granted) {
  HKEY handle = next_;
  next_ += 4;
  open_[handle] = OpenKey{std::move(key), granted};
  return handle;
}

// The predefined roots behave as handles opened with the most access the
// token has on them.
SimRegistry::Resolved SimRegistry::resolveHandle(HKEY key) const {
  if (validRoot(key)) {
    auto root = store_.rootKey(key);
    DWORD granted = store_.nt() ? grantedAccess(root->security, token_)
                                : kAllKeyRights;
    return {code(platform::ERROR_SUCCESS), root, granted};
  }
  auto it = open_.find(key);
  if (it == open_.end()) return {code(platform::ERROR_INVALID_HANDLE), {}, 0};
  if (it->second.key->deleted)
    return {code(platform::ERROR_KEY_DELETED), {}, 0};
  return {code(platform::ERROR_SUCCESS), it->second.key, it->second.granted};
}

SimRegistry::Resolved SimRegistry::usable(HKEY key, DWORD needed) const {
  Resolved r = resolveHandle(key);
  if (r.error == code(platform::ERROR_SUCCESS) &&
      (r.granted & needed) != needed)
    r.error = code(platform::ERROR_ACCESS_DENIED);
  return r;
}

LONG SimRegistry::grant(const RegKey& key, DWORD access,
                        DWORD* granted) const {
  if (!store_.nt()) {
    // Windows 98/Me has no key security: every open gets everything.
    *granted = kAllKeyRights;
    return code(platform::ERROR_SUCCESS);
  }
  const DWORD allowed = grantedAccess(key.security, token_);
  const bool maximum = (access & platform::MAXIMUM_ALLOWED) != 0;
  const DWORD wanted = mapGenericKeyRights(
      access & ~(platform::MAXIMUM_ALLOWED | KEY_WOW64_FLAGS));
  if ((allowed & wanted) != wanted) return code(platform::ERROR_ACCESS_DENIED);
  if (maximum && allowed == 0) return code(platform::ERROR_ACCESS_DENIED);
  *granted = maximum ? allowed : wanted;
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::walk(HKEY base, const char* subKey,
                       std::shared_ptr<RegKey>* found) const {
  Resolved r = resolveHandle(base);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  std::vector<std::string> names;
  if (!splitPath(subKey ? subKey : "", &names))
    return code(ERROR_BAD_PATHNAME);
  std::shared_ptr<RegKey> key = r.key;
  for (const std::string& name : names) {
    auto it = key->subkeys.find(name);
    if (it == key->subkeys.end()) return code(platform::ERROR_FILE_NOT_FOUND);
    key = it->second;
  }
  *found = std::move(key);
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::regOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
  if (!result) return code(platform::ERROR_INVALID_PARAMETER);
  // RegOpenKeyA hands back the very handle it was given for an empty name.
  if (!subKey || !*subKey) {
    Resolved r = resolveHandle(root);
    if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
    *result = root;
    return r.error;
  }
  return regOpenKeyExA(root, subKey, 0, platform::MAXIMUM_ALLOWED, result);
}

LONG SimRegistry::regOpenKeyExA(HKEY root, const char* subKey, DWORD,
                                DWORD access, HKEY* result) {
  if (!result) return code(platform::ERROR_INVALID_PARAMETER);
  std::shared_ptr<RegKey> key;
  LONG error = walk(root, subKey, &key);
  if (error != code(platform::ERROR_SUCCESS)) return error;
  DWORD granted = 0;
  error = grant(*key, access, &granted);
  if (error != code(platform::ERROR_SUCCESS)) return error;
  *result = addHandle(std::move(key), granted);
  return error;
}

LONG SimRegistry::regCreateKeyExA(HKEY root, const char* subKey, DWORD access,
                                  HKEY* result, DWORD* disposition) {
  if (!subKey || !result) return code(platform::ERROR_INVALID_PARAMETER);
  Resolved base = resolveHandle(root);
  if (base.error != code(platform::ERROR_SUCCESS)) return base.error;
  std::vector<std::string> names;
  if (!splitPath(subKey, &names)) return code(ERROR_BAD_PATHNAME);

  std::shared_ptr<RegKey> key = base.key;
  bool created = false;
  for (const std::string& name : names) {
    auto it = key->subkeys.find(name);
    if (it != key->subkeys.end()) {
      key = it->second;
      continue;
    }
    // Each missing level is a create below its parent, which the parent's
    // DACL must allow; levels made before a refusal stay, as on Windows.
    if (store_.nt() && !(grantedAccess(key->security, token_) &
                         platform::KEY_CREATE_SUB_KEY))
      return code(platform::ERROR_ACCESS_DENIED);
    key = store_.addSubkey(*key, name, KeySecurity::createdBy(token_));
    created = true;
  }
  DWORD granted = 0;
  LONG error = grant(*key, access, &granted);
  if (error != code(platform::ERROR_SUCCESS)) return error;
  *result = addHandle(std::move(key), granted);
  if (disposition)
    *disposition =
        created ? platform::REG_CREATED_NEW_KEY : platform::REG_OPENED_EXISTING_KEY;
  return error;
}

LONG SimRegistry::regCloseKey(HKEY key) {
  if (validRoot(key)) return code(platform::ERROR_SUCCESS);
  return open_.erase(key) ? code(platform::ERROR_SUCCESS)
                          : code(platform::ERROR_INVALID_HANDLE);
}

LONG SimRegistry::regQueryValueExA(HKEY key, const char* name, DWORD* type,
                                   BYTE* data, DWORD* size) {
  Resolved r = usable(key, platform::KEY_QUERY_VALUE);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  if (data && !size) return code(platform::ERROR_INVALID_PARAMETER);
  auto it = r.key->values.find(name ? name : "");
  if (it == r.key->values.end()) return code(platform::ERROR_FILE_NOT_FOUND);
  const RegValue& value = it->second;
  const DWORD length = static_cast<DWORD>(value.data.size());
  if (type) *type = value.type;
  if (!data) {
    if (size) *size = length;
    return code(platform::ERROR_SUCCESS);
  }
  const DWORD room = *size;
  *size = length;
  if (room < length) return code(platform::ERROR_MORE_DATA);
  if (length) std::memcpy(data, value.data.data(), length);
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::regSetValueExA(HKEY key, const char* name, DWORD type,
                                 const BYTE* data, DWORD size) {
  Resolved r = usable(key, platform::KEY_SET_VALUE);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  if (!data && size) return code(platform::ERROR_INVALID_PARAMETER);
  RegValue value{type, data ? std::vector<BYTE>(data, data + size)
                            : std::vector<BYTE>{}};
  r.key->values[name ? name : ""] = std::move(value);
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::regDeleteValueA(HKEY key, const char* name) {
  Resolved r = usable(key, platform::KEY_SET_VALUE);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  return r.key->values.erase(name ? name : "")
             ? code(platform::ERROR_SUCCESS)
             : code(platform::ERROR_FILE_NOT_FOUND);
}

LONG SimRegistry::regEnumKeyA(HKEY key, DWORD index, char* name,
                              DWORD nameSize) {
  Resolved r = usable(key, platform::KEY_ENUMERATE_SUB_KEYS);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  if (!name) return code(platform::ERROR_INVALID_PARAMETER);
  if (index >= r.key->subkeys.size()) return code(platform::ERROR_NO_MORE_ITEMS);
  auto it = r.key->subkeys.begin();
  std::advance(it, index);
  const std::string& found = it->second->name;
  if (found.size() + 1 > nameSize) return code(platform::ERROR_MORE_DATA);
  std::memcpy(name, found.c_str(), found.size() + 1);
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::regQueryInfoKeyA(HKEY key, DWORD* subKeys,
                                   DWORD* maxSubKeyLength, DWORD* values) {
  Resolved r = usable(key, platform::KEY_QUERY_VALUE);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  std::size_t longest = 0;
  for (const auto& entry : r.key->subkeys)
    longest = std::max(longest, entry.second->name.size());
  if (subKeys) *subKeys = static_cast<DWORD>(r.key->subkeys.size());
  if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(longest);
  if (values) *values = static_cast<DWORD>(r.key->values.size());
  return code(platform::ERROR_SUCCESS);
}

namespace {

// Reads an ACL in Windows layout into entries; false when it is malformed
// or holds an entry type the simulation does not model.
bool readAcl(const platform::ACL* acl, std::vector<Ace>* out) {
  const auto* b = reinterpret_cast<const BYTE*>(acl);
  const WORD aclSize = static_cast<WORD>(b[2] | b[3] << 8);
  const WORD aceCount = static_cast<WORD>(b[4] | b[5] << 8);
  if (b[0] < 2 || b[0] > 4 || aclSize < sizeof(platform::ACL)) return false;
  out->clear();
  std::size_t at = sizeof(platform::ACL);
  for (WORD i = 0; i < aceCount; ++i) {
    if (at + 8 > aclSize) return false;
    const BYTE* ace = b + at;
    const WORD aceSize = static_cast<WORD>(ace[2] | ace[3] << 8);
    if (aceSize < 8 || at + aceSize > aclSize) return false;
    if (ace[0] != platform::ACCESS_ALLOWED_ACE_TYPE &&
        ace[0] != ACCESS_DENIED_ACE_TYPE)
      return false;
    const std::size_t sidLength = sids::validLength(ace + 8);
    if (!sidLength || 8 + sidLength > aceSize) return false;
    DWORD mask = 0;
    std::memcpy(&mask, ace + 4, 4);
    out->push_back(Ace{ace[0], ace[1], mapGenericKeyRights(mask),
                       SidBytes(ace + 8, ace + 8 + sidLength)});
    at += aceSize;
  }
  return true;
}

}  // namespace

LONG SimRegistry::storeDescriptor(RegKey& key, DWORD information,
                                  const platform::SECURITY_DESCRIPTOR& sd) const {
  KeySecurity next = key.security;
  if (information & platform::OWNER_SECURITY_INFORMATION) {
    SidBytes owner = sids::copy(sd.Owner);
    if (owner.empty() || !token_.mayOwnAs(owner))
      return code(ERROR_INVALID_OWNER);
    next.owner = std::move(owner);
  }
  if (information & platform::GROUP_SECURITY_INFORMATION) {
    next.group = sids::copy(sd.Group);
    if (next.group.empty()) return code(ERROR_INVALID_SECURITY_DESCR);
  }
  if (information & platform::DACL_SECURITY_INFORMATION) {
    // A descriptor without a present DACL, or with a null one, leaves the
    // key open to everyone, as on Windows.
    next.nullDacl = !(sd.Control & platform::SE_DACL_PRESENT) || !sd.Dacl;
    next.dacl.clear();
    if (!next.nullDacl && !readAcl(sd.Dacl, &next.dacl))
      return code(ERROR_INVALID_ACL);
  }
  key.security = std::move(next);
  return code(platform::ERROR_SUCCESS);
}

LONG SimRegistry::regSetKeySecurity(
    HKEY key, DWORD information,
    const platform::SECURITY_DESCRIPTOR* descriptor) {
  if (!store_.nt()) return code(platform::ERROR_CALL_NOT_IMPLEMENTED);
  Resolved r = resolveHandle(key);
  if (r.error != code(platform::ERROR_SUCCESS)) return r.error;
  if (!descriptor) return code(platform::ERROR_INVALID_PARAMETER);
  DWORD needed = 0;
  if (information & platform::DACL_SECURITY_INFORMATION)
    needed |= platform::WRITE_DAC;
  if (information & (platform::OWNER_SECURITY_INFORMATION |
                     platform::GROUP_SECURITY_INFORMATION))
    needed |= platform::WRITE_OWNER;
  // Changing the SACL takes ACCESS_SYSTEM_SECURITY, which no simulated
  // handle is ever granted.
  if ((information & SACL_SECURITY_INFORMATION) ||
      (r.granted & needed) != needed)
    return code(platform::ERROR_ACCESS_DENIED);
  if (descriptor->Revision != platform::SECURITY_DESCRIPTOR_REVISION ||
      (descriptor->Control & SE_SELF_RELATIVE))
    return code(ERROR_INVALID_SECURITY_DESCR);
  return storeDescriptor(*r.key, information, *descriptor);
}

LONG SimRegistry::regDeleteKeyA(HKEY root, const char* subKey) {
  if (!subKey) return code(platform::ERROR_INVALID_PARAMETER);
  std::shared_ptr<RegKey> key;
  LONG error = walk(root, subKey, &key);
  if (error != code(platform::ERROR_SUCCESS)) return error;
  if (!key->parent) return code(platform::ERROR_ACCESS_DENIED);  // a root
  if (store_.nt()) {
    if (!(grantedAccess(key->security, token_) & platform::DELETE))
      return code(platform::ERROR_ACCESS_DENIED);
    // NT deletes leaf keys only; Wine measured 5 here, as Windows gives.
    if (!key->subkeys.empty()) return code(platform::ERROR_ACCESS_DENIED);
  }
  store_.remove(key);
  return code(platform::ERROR_SUCCESS);
}

}  // namespace sim
