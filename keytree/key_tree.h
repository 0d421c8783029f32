// Removal of a registry key tree below HKEY_LOCAL_MACHINE that Windows
// protects the way it protects device keys: each key's access list is first
// replaced by one that gives the Administrators group full access, then the
// key is deleted, children before their parent.
//
// The updater and keyprune both remove device keys with these three pieces;
// what a caller shows when one of them fails is the caller's business.
#pragma once

#include "platform/platform.h"

namespace keytree {

// 1 when the thread's token (the process token when the thread does not
// impersonate) lists the Administrators group, whatever the group's
// attributes say (a deny-only entry counts too), else 0.
int isAdministrator(platform::Platform& platform);

// A security descriptor whose DACL grants Administrators KEY_ALL_ACCESS.
// The SID, the heap block of the ACL and the descriptor live and die
// together; destruction releases whatever create() obtained.
class AdminAccessDescriptor {
 public:
  explicit AdminAccessDescriptor(platform::Security& security)
      : security_(security) {}
  ~AdminAccessDescriptor() { release(); }
  AdminAccessDescriptor(const AdminAccessDescriptor&) = delete;
  AdminAccessDescriptor& operator=(const AdminAccessDescriptor&) = delete;

  // 1 on success; 0 at the first step that fails, with whatever was already
  // obtained given back.
  int create();
  // Frees the ACL, then the SID. Safe to call more than once.
  void release();

  const platform::SECURITY_DESCRIPTOR* descriptor() const {
    return &descriptor_;
  }

 private:
  platform::Security& security_;
  platform::PSID sid_ = nullptr;
  platform::ACL* acl_ = nullptr;
  platform::SECURITY_DESCRIPTOR descriptor_{};
};

// Removes the tree at `path` (relative to HKEY_LOCAL_MACHINE, no leading
// backslash). Returns 1 when the key's access list was replaced and its
// deletion issued, 0 when the key could not be opened for WRITE_DAC or its
// access list could not be set, and at once for an empty path. Whether the deletes succeeded is not
// reported: a key whose subkey survived stays in place.
int removeKeyTree(platform::Platform& platform,
                  const AdminAccessDescriptor& descriptor, const char* path);

}  // namespace keytree
