// keytool: a helper of the Wine tests, not a deliverable.
//
//   keytool make PATH...     creates the keys below HKEY_LOCAL_MACHINE and
//                            gives each the protection of a device key: owner
//                            Administrators, SYSTEM full control, Everyone
//                            read only
//   keytool exists PATH      exit 0 when the key exists, 1 when it does not
//   keytool delete PATH      RegDeleteKeyA; prints the result, exit 0 if gone
//   keytool open PATH HEX    RegOpenKeyExA with that access; prints the result
//   keytool sleep MS FILE    waits MS milliseconds, then creates FILE
//
// Exit code 2 for usage errors or unexpected failures.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct DeviceKeySecurity {
  PSID administrators = nullptr;
  PSID system = nullptr;
  PSID everyone = nullptr;
  BYTE acl[256];
  SECURITY_DESCRIPTOR descriptor;

  bool build() {
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                  0, 0, 0, 0, 0, 0, &administrators) ||
        !AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &system) ||
        !AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &everyone)) {
      return false;
    }
    PACL dacl = reinterpret_cast<PACL>(acl);
    return InitializeAcl(dacl, sizeof acl, ACL_REVISION) &&
           AddAccessAllowedAce(dacl, ACL_REVISION, KEY_ALL_ACCESS, system) &&
           AddAccessAllowedAce(dacl, ACL_REVISION, KEY_READ, everyone) &&
           InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&descriptor, administrators, FALSE) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
  }
};

int make(int count, char** paths) {
  for (int i = 0; i < count; ++i) {
    HKEY key;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, paths[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &key, nullptr);
    if (r != ERROR_SUCCESS) {
      std::fprintf(stderr, "create %s: %ld\n", paths[i], r);
      return 2;
    }
    RegCloseKey(key);
  }
  DeviceKeySecurity security;
  if (!security.build()) {
    std::fprintf(stderr, "descriptor: %lu\n", GetLastError());
    return 2;
  }
  // Every key is created first: once a parent is protected nobody may add
  // to it any more.
  for (int i = 0; i < count; ++i) {
    HKEY key;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, paths[i], 0, WRITE_DAC | WRITE_OWNER, &key);
    if (r == ERROR_SUCCESS) {
      r = RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &security.descriptor);
      RegCloseKey(key);
    }
    if (r != ERROR_SUCCESS) {
      std::fprintf(stderr, "protect %s: %ld\n", paths[i], r);
      return 2;
    }
  }
  return 0;
}

int exists(const char* path) {
  HKEY key;
  LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
  if (r == ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  return r == ERROR_FILE_NOT_FOUND ? 1 : 2;
}

int deleteKey(const char* path) {
  LONG r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
  std::printf("%ld\n", r);
  return r == ERROR_SUCCESS ? 0 : 1;
}

int openWith(const char* path, const char* access) {
  HKEY key;
  LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0,
                         static_cast<REGSAM>(std::strtoul(access, nullptr, 16)), &key);
  if (r == ERROR_SUCCESS) RegCloseKey(key);
  std::printf("%ld\n", r);
  return r == ERROR_SUCCESS ? 0 : 1;
}

int sleepThenMark(const char* ms, const char* file) {
  Sleep(static_cast<DWORD>(std::atol(ms)));
  HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  CloseHandle(h);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "make") == 0) return make(argc - 2, argv + 2);
  if (argc == 3 && std::strcmp(argv[1], "exists") == 0) return exists(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "delete") == 0) return deleteKey(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "open") == 0) return openWith(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "sleep") == 0) return sleepThenMark(argv[2], argv[3]);
  std::fprintf(stderr, "usage: keytool make PATH...|exists PATH|delete PATH|open PATH HEX|sleep MS FILE\n");
  return 2;
}
