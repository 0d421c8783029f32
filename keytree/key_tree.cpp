#include "keytree/key_tree.h"

#include <string>
#include <vector>

namespace keytree {

using namespace platform;

namespace {

// S-1-5-32-544: the NT authority, built-in domain, Administrators alias.
BOOL allocateAdministratorsSid(Security& security, PSID* sid) {
  SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
  return security.allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                           DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                           0, 0, sid);
}

// The thread's token when it impersonates, else the process token.
BOOL openCallerToken(Platform& platform, Handle* token) {
  if (platform.security.openThreadToken(TOKEN_QUERY, 0, token)) return 1;
  if (platform.kernel.getLastError() != ERROR_NO_TOKEN) return 0;
  return platform.security.openProcessToken(TOKEN_QUERY, token);
}

int tokenListsAdministrators(Platform& platform, Handle token) {
  Security& security = platform.security;
  DWORD needed = 0;
  // The size query must fail for want of room; anything else means the
  // token cannot be read the usual way.
  if (security.getTokenInformation(token, TokenGroups, nullptr, 0, &needed) ||
      platform.kernel.getLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return 0;
  }
  const DWORD length = (needed + 3u) & ~3u;
  // Pointer-aligned storage: the groups array holds SID pointers.
  std::vector<void*> buffer((length + sizeof(void*) - 1) / sizeof(void*) + 1);
  if (!security.getTokenInformation(token, TokenGroups, buffer.data(), length,
                                    &needed)) {
    return 0;
  }
  PSID administrators = nullptr;
  if (!allocateAdministratorsSid(security, &administrators)) return 0;
  const auto* groups = static_cast<const TOKEN_GROUPS*>(
      static_cast<const void*>(buffer.data()));
  int found = 0;
  // Attributes are ignored on purpose: a filtered administrator's
  // deny-only entry still makes the caller an administrator here.
  for (DWORD i = 0; i < groups->GroupCount && !found; ++i) {
    if (security.equalSid(groups->Groups[i].Sid, administrators)) found = 1;
  }
  security.freeSid(administrators);
  return found;
}

}  // namespace

int isAdministrator(Platform& platform) {
  Handle token = 0;
  if (!openCallerToken(platform, &token)) return 0;
  int result = tokenListsAdministrators(platform, token);
  platform.kernel.closeHandle(token);
  return result;
}

int AdminAccessDescriptor::create() {
  release();
  if (!allocateAdministratorsSid(security_, &sid_)) {
    sid_ = nullptr;
    return 0;
  }
  // One ACL header (8) and one access-allowed entry (8 before its SID).
  const DWORD size = security_.getLengthSid(sid_) + 16;
  acl_ = static_cast<ACL*>(security_.heapAlloc(size));
  if (acl_ == nullptr || !security_.initializeAcl(acl_, size, ACL_REVISION) ||
      !security_.addAccessAllowedAce(acl_, ACL_REVISION, KEY_ALL_ACCESS, sid_) ||
      !security_.initializeSecurityDescriptor(&descriptor_,
                                              SECURITY_DESCRIPTOR_REVISION) ||
      !security_.setSecurityDescriptorDacl(&descriptor_, 1, acl_, 0)) {
    release();
    return 0;
  }
  return 1;
}

void AdminAccessDescriptor::release() {
  if (acl_ != nullptr) security_.heapFree(acl_);
  if (sid_ != nullptr) security_.freeSid(sid_);
  acl_ = nullptr;
  sid_ = nullptr;
  descriptor_ = SECURITY_DESCRIPTOR{};
}

namespace {

void removeChildren(Platform& platform, const AdminAccessDescriptor& descriptor,
                    const char* path) {
  Registry& registry = platform.registry;
  HKEY key = 0;
  if (registry.regOpenKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) {
    return;
  }
  DWORD count = 0;
  // The count is read once: going from the last index down keeps the
  // indices still to visit valid while children disappear.
  if (registry.regQueryInfoKeyA(key, &count, nullptr, nullptr) == ERROR_SUCCESS) {
    char name[512];
    for (DWORD index = count; index-- > 0;) {
      if (registry.regEnumKeyA(key, index, name, sizeof name) != ERROR_SUCCESS) {
        continue;
      }
      // Sized to the path, so a deep tree is removed whole and nothing is
      // written past a fixed path buffer.
      std::string child = std::string(path) + "\\" + name;
      removeKeyTree(platform, descriptor, child.c_str());
    }
  }
  registry.regCloseKey(key);
}

}  // namespace

int removeKeyTree(Platform& platform, const AdminAccessDescriptor& descriptor,
                  const char* path) {
  // An empty name would open HKEY_LOCAL_MACHINE itself and take the whole
  // machine key apart; no caller means that.
  if (path == nullptr || *path == '\0') return 0;
  removeChildren(platform, descriptor, path);
  Registry& registry = platform.registry;
  HKEY key = 0;
  if (registry.regOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  if (registry.regSetKeySecurity(key, DACL_SECURITY_INFORMATION,
                                 descriptor.descriptor()) != ERROR_SUCCESS) {
    registry.regCloseKey(key);
    return 0;
  }
  registry.regCloseKey(key);
  registry.regDeleteKeyA(HKEY_LOCAL_MACHINE, path);
  return 1;
}

}  // namespace keytree
