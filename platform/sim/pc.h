// The simulated Windows PC: one machine with its Windows family, code page,
// drives, files, registry, named objects, windows on screen, the processes
// that run on it, the scripted user in front of it and the transcript of what
// that user sees. Everything runs on the deterministic scheduler.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog_resource.h"
#include "platform/platform.h"
#include "scheduler.h"

namespace sim {

class ControlTable;
class DeviceProvider;
class FileSystem;
class Process;
class RegistryStore;
class ScriptedUser;
class Transcript;
class WindowStack;

// WM_DEVICECHANGE events (wParam) that simulated hardware broadcasts.
inline constexpr platform::UINT DBT_DEVNODES_CHANGED = 0x0007;
inline constexpr platform::UINT DBT_DEVICEARRIVAL = 0x8000;
inline constexpr platform::UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;

enum class WindowsVersion { Win98, WinMe, Win2000, WinXP, WinXP64 };

struct DriveSpec {
  char letter;          // 'C'
  platform::UINT type;  // DRIVE_FIXED, DRIVE_REMOVABLE, ...
};

struct PcConfig {
  WindowsVersion os = WindowsVersion::WinXP;
  platform::UINT codePage = 1252;  // ANSI and OEM code page (1252 or 932)
  bool administrator = true;
  bool adminDenyOnly = false;  // Administrators only as a deny-only group
  // Host folder that holds one folder per drive letter ("C", "D", ...). It
  // must exist and is owned by the caller.
  std::string sandbox;
  std::vector<DriveSpec> drives{{'C', 3}};
};

bool isNt(WindowsVersion os);
platform::OSVERSIONINFOA versionInfo(WindowsVersion os);

// A program that can run on the simulated PC: its entry point gets the
// process's platform and returns the exit code.
using ProgramMain = std::function<platform::DWORD(platform::Platform&)>;

// A program's string table, texts in UTF-8; loadStringA converts them to
// the PC's code page and picks Japanese on a code-page-932 PC.
struct StringResource {
  platform::UINT id;
  const char* english;
  const char* japanese;
};

struct Program {
  ProgramMain entry;
  std::vector<StringResource> strings;
  std::vector<DialogResource> dialogs;
};

class SimPc {
 public:
  explicit SimPc(PcConfig config);
  ~SimPc();
  SimPc(const SimPc&) = delete;
  SimPc& operator=(const SimPc&) = delete;

  const PcConfig& config() const { return config_; }
  bool nt() const { return isNt(config_.os); }
  Scheduler& scheduler() { return *scheduler_; }
  Transcript& transcript() { return *transcript_; }
  FileSystem& files() { return *files_; }
  RegistryStore& registry() { return *registry_; }
  WindowStack& windows() { return *windows_; }
  ScriptedUser& user() { return *user_; }
  ControlTable& controls() { return *controls_; }

  std::string windowsFolder() const { return "C:\\WINDOWS"; }
  std::string systemFolder() const;

  // Programs are found by image file name, without regard to case
  // ("keyprune.exe"); the image file itself need not exist.
  void installProgram(const std::string& imageName, ProgramMain entry,
                      std::vector<StringResource> strings = {},
                      std::vector<DialogResource> dialogs = {});
  const Program* program(const std::string& imageName) const;

  // Starts a process of an installed program. `imagePath` is the full path
  // of its image, `commandLine` what getCommandLineA returns. Returns the
  // process or null when no program of that name is installed.
  Process* startProcess(const std::string& imagePath,
                        const std::string& commandLine,
                        const std::string& currentFolder);
  const std::vector<std::unique_ptr<Process>>& processes() const {
    return processes_;
  }

  // Ends every process at once, as a power loss does: no code of theirs runs
  // again, files and registry keep what was written.
  void powerLoss();

  // Runs until every process has ended, nothing can run again, or the
  // virtual clock passes `limit` milliseconds.
  RunEnd run(Millis limit);

  // Called by a process when its main thread returns or it is killed.
  void processEnded(Process& process);

  // Named kernel objects (mutexes) by name; an object lives while a handle
  // to it is open in some process.
  std::map<std::string, std::weak_ptr<void>>& namedObjects() {
    return namedObjects_;
  }

  // Simulated hardware behind "\\.\NAME" device names, asked in order.
  void addDeviceProvider(DeviceProvider* provider) {
    deviceProviders_.push_back(provider);
  }
  const std::vector<DeviceProvider*>& deviceProviders() const {
    return deviceProviders_;
  }

  void removeDeviceProvider(DeviceProvider* provider) {
    deviceProviders_.erase(std::remove(deviceProviders_.begin(),
                                       deviceProviders_.end(), provider),
                           deviceProviders_.end());
  }

  // Device-change broadcasts, as Windows sends WM_DEVICECHANGE: simulated
  // hardware calls every listener when it arrives, leaves or re-enumerates
  // (a power loss included, after the PC's processes have ended; a listener
  // of an ended process must ignore it). `deviceInterface` names the device
  // ("USB\VID_2E51&PID_2201\0001"), empty with DBT_DEVNODES_CHANGED.
  std::vector<std::function<void(platform::UINT event,
                                 const std::string& deviceInterface)>>
      deviceChangeListeners;
  void broadcastDeviceChange(platform::UINT event,
                             const std::string& deviceInterface) {
    auto listeners = deviceChangeListeners;  // a listener may add one
    for (auto& listener : listeners) listener(event, deviceInterface);
  }

  // Simulated hardware resets itself here after a power loss.
  std::vector<std::function<void()>> onPowerLoss;

  // Power-off requests made with ExitWindowsEx (nothing is powered off).
  int powerOffRequests = 0;

  // Hook for the scenario runner: called when a process opens its first
  // top-level window (a dialog or a message box).
  std::function<void(Process&)> onFirstWindow;

 private:
  PcConfig config_;
  std::unique_ptr<Scheduler> scheduler_;
  std::unique_ptr<Transcript> transcript_;
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<RegistryStore> registry_;
  std::unique_ptr<WindowStack> windows_;
  std::unique_ptr<ScriptedUser> user_;
  std::unique_ptr<ControlTable> controls_;
  std::map<std::string, Program> programs_;  // upper-case image name
  std::vector<std::unique_ptr<Process>> processes_;
  std::map<std::string, std::weak_ptr<void>> namedObjects_;
  std::vector<DeviceProvider*> deviceProviders_;
  bool poweringOff_ = false;
};

}  // namespace sim
