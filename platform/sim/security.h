// Security services of the simulated PC: the access token of a process, the
// well-known SIDs, and the SID, ACL and descriptor functions in Windows' own
// byte layouts.
//
// Every simulated process runs as the PC's one interactive user. Its token
// is derived from the PC configuration (administrator or not, Administrators
// as a deny-only group), and the simulated registry checks key access lists
// against the same token, so that what a program learns from its token
// groups and what the registry lets it do always agree.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "handles.h"
#include "platform/security.h"

namespace sim {

class Process;
class RegistryStore;
struct PcConfig;

// Win32 error codes that the simulated security and registry give and the
// platform interface does not name (values as winerror.h has them).
inline constexpr platform::DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr platform::DWORD ERROR_UNKNOWN_REVISION = 1305;
inline constexpr platform::DWORD ERROR_INVALID_OWNER = 1307;
inline constexpr platform::DWORD ERROR_INVALID_ACL = 1336;
inline constexpr platform::DWORD ERROR_INVALID_SID = 1337;
inline constexpr platform::DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
inline constexpr platform::DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;

inline constexpr platform::BYTE ACCESS_DENIED_ACE_TYPE = 1;
inline constexpr platform::BYTE INHERIT_ONLY_ACE = 0x08;
inline constexpr platform::WORD SE_SELF_RELATIVE = 0x8000;
inline constexpr platform::DWORD SACL_SECURITY_INFORMATION = 8;
inline constexpr platform::DWORD TOKEN_ALL_ACCESS = 0x000F01FFu;

// A SID as its bytes: revision 1, sub-authority count, 6-byte identifier
// authority (big-endian), then the sub-authorities (little-endian DWORDs).
using SidBytes = std::vector<platform::BYTE>;

namespace sids {
SidBytes make(platform::BYTE authority,
              const std::vector<platform::DWORD>& subAuthorities);
SidBytes everyone();            // S-1-1-0
SidBytes system();              // S-1-5-18
SidBytes administrators();      // S-1-5-32-544
SidBytes users();               // S-1-5-32-545
SidBytes authenticatedUsers();  // S-1-5-11
SidBytes interactiveUser();     // the PC's user, S-1-5-21-…-1000

// The length of the SID at `sid` when its header is well formed (revision
// 1, at most 15 sub-authorities), else 0.
std::size_t validLength(const void* sid);
SidBytes copy(const void* sid);  // empty when not valid
std::string toString(const SidBytes& sid);  // "S-1-5-32-544"
}  // namespace sids

struct TokenGroup {
  SidBytes sid;
  platform::DWORD attributes;
};

// Who a token says the caller is; the registry's access checks use it.
struct TokenIdentity {
  SidBytes user;
  std::vector<TokenGroup> groups;
  SidBytes defaultOwner;  // owner of the keys this token creates

  // The user or an enabled group that is not for deny only: such a SID
  // receives what an access-allowed entry grants.
  bool grantsAs(const SidBytes& sid) const;
  // Deny-only groups still match access-denied entries.
  bool deniedAs(const SidBytes& sid) const;
  // The user or a group the token may make an object's owner.
  bool mayOwnAs(const SidBytes& sid) const;
  bool administrator() const;  // Administrators enabled (not deny-only)
};

TokenIdentity userToken(bool administrator, bool adminDenyOnly);
TokenIdentity tokenFor(const PcConfig& config);

// The privilege a token holds, by the LUID lookupPrivilegeValueA gives.
struct TokenPrivilege {
  const char* name;
  platform::DWORD luid;
  bool enabled;
};

// What a process token is; every handle to it shares this.
struct TokenState {
  TokenIdentity identity;
  std::vector<TokenPrivilege> privileges;
};

class TokenObject : public KernelObject {
 public:
  TokenObject(std::shared_ptr<TokenState> state, platform::DWORD access)
      : state_(std::move(state)), access_(access) {}
  TokenState& state() { return *state_; }
  bool allows(platform::DWORD access) const {
    return (access_ & access) == access;
  }

 private:
  std::shared_ptr<TokenState> state_;
  platform::DWORD access_;
};

// A privilege switched on or off through adjustTokenPrivileges, kept on the
// PC (RegistryStore::privilegeLog) in the order it happened.
struct PrivilegeChange {
  int process;        // Process::number()
  std::string image;  // Process::imageName()
  std::string privilege;
  bool enabled;
  bool operator==(const PrivilegeChange& o) const {
    return process == o.process && image == o.image &&
           privilege == o.privilege && enabled == o.enabled;
  }
};

// What a SimSecurity works with; a Process supplies it, a unit test may
// assemble one of its own.
struct SecurityContext {
  RegistryStore& store;  // nt() and the privilege log
  HandleTable& handles;
  std::function<platform::DWORD&()> lastError;
  TokenIdentity token;
  int processNumber = 0;
  std::string imageName;
};

class SimSecurity : public platform::Security {
 public:
  explicit SimSecurity(Process& process);
  explicit SimSecurity(SecurityContext context);
  ~SimSecurity() override;
  SimSecurity(const SimSecurity&) = delete;
  SimSecurity& operator=(const SimSecurity&) = delete;

  platform::BOOL openProcessToken(platform::DWORD access,
                                  platform::Handle* token) override;
  platform::BOOL openThreadToken(platform::DWORD access,
                                 platform::BOOL openAsSelf,
                                 platform::Handle* token) override;
  platform::BOOL getTokenInformation(platform::Handle token,
                                     int informationClass, void* buffer,
                                     platform::DWORD length,
                                     platform::DWORD* returnLength) override;
  platform::BOOL lookupPrivilegeValueA(const char* system, const char* name,
                                       platform::LUID* luid) override;
  platform::BOOL adjustTokenPrivileges(
      platform::Handle token, platform::BOOL disableAll,
      const platform::TOKEN_PRIVILEGES* privileges) override;

  platform::BOOL allocateAndInitializeSid(
      const platform::SID_IDENTIFIER_AUTHORITY* auth,
      platform::BYTE subAuthorityCount, platform::DWORD sub0,
      platform::DWORD sub1, platform::DWORD sub2, platform::DWORD sub3,
      platform::DWORD sub4, platform::DWORD sub5, platform::DWORD sub6,
      platform::DWORD sub7, platform::PSID* sid) override;
  void freeSid(platform::PSID sid) override;
  platform::BOOL equalSid(platform::PSID a, platform::PSID b) override;
  platform::DWORD getLengthSid(platform::PSID sid) override;
  platform::BOOL initializeAcl(platform::ACL* acl, platform::DWORD length,
                               platform::DWORD revision) override;
  platform::BOOL addAccessAllowedAce(platform::ACL* acl,
                                     platform::DWORD revision,
                                     platform::DWORD mask,
                                     platform::PSID sid) override;
  platform::BOOL initializeSecurityDescriptor(
      platform::SECURITY_DESCRIPTOR* descriptor,
      platform::DWORD revision) override;
  platform::BOOL setSecurityDescriptorDacl(
      platform::SECURITY_DESCRIPTOR* descriptor, platform::BOOL present,
      platform::ACL* dacl, platform::BOOL defaulted) override;

  void* heapAlloc(std::size_t bytes) override;
  platform::BOOL heapFree(void* block) override;

  // Blocks from heapAlloc and SIDs from allocateAndInitializeSid not yet
  // given back; whatever is left is released with the process.
  std::size_t outstandingHeapBlocks() const { return heapBlocks_.size(); }
  std::size_t outstandingSids() const { return sidBlocks_.size(); }

 private:
  platform::BOOL fail(platform::DWORD error);
  std::shared_ptr<TokenObject> token(platform::Handle handle,
                                     platform::DWORD access);
  platform::BOOL writeTokenGroups(void* buffer, platform::DWORD length,
                                  platform::DWORD* returnLength);
  platform::BOOL writeTokenPrivileges(void* buffer, platform::DWORD length,
                                      platform::DWORD* returnLength);

  SecurityContext context_;
  std::shared_ptr<TokenState> processToken_;
  std::set<void*> heapBlocks_;
  std::set<void*> sidBlocks_;
};

}  // namespace sim
