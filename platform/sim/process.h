// One process on the simulated PC: its image, command line, current folder,
// handle table, threads and the platform services bound to it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"
#include "pc.h"

namespace sim {

class SimDialogs;
class SimKernel;
class SimRegistry;
class SimSecurity;
class SimShell;
class SimUi;

class Process {
 public:
  Process(SimPc& pc, int number, std::string imagePath,
          std::string commandLine, std::string currentFolder);
  ~Process();

  SimPc& pc() { return pc_; }
  int number() const { return number_; }  // 1 for the first process started
  const std::string& imagePath() const { return imagePath_; }
  const std::string& imageName() const { return imageName_; }  // "Norbix.exe"
  std::string& commandLine() { return commandLine_; }
  std::string& currentFolder() { return currentFolder_; }
  HandleTable& handles() { return handles_; }
  platform::Platform& platform() { return *platform_; }
  SimDialogs& dialogs() { return *dialogs_; }

  // The transcript tag: empty for the first updater, "[NAME#N]" otherwise.
  std::string tag() const;
  void setTagged(bool tagged) { tagged_ = tagged; }
  void log(const std::string& event);

  // Threads of this process, by scheduler id; the first is the main thread.
  std::vector<Scheduler::ThreadId>& threads() { return threads_; }
  bool owns(Scheduler::ThreadId thread) const;

  bool ended() const { return ended_; }
  platform::DWORD exitCode() const { return exitCode_; }
  // Ends the process: every thread is ended at its blocking point, handles
  // are closed, windows vanish.
  void terminate(platform::DWORD exitCode);

  platform::DWORD& lastError();  // of the calling thread
  // Throws ThreadKilled when the calling thread's process has been ended
  // (for example by a power loss inside a device request it made).
  void checkAlive();
  const Program* program() const;
  bool sawFirstWindow = false;

 private:
  SimPc& pc_;
  int number_;
  std::string imagePath_;
  std::string imageName_;
  std::string commandLine_;
  std::string currentFolder_;
  bool tagged_ = true;
  HandleTable handles_;
  std::vector<Scheduler::ThreadId> threads_;
  std::map<Scheduler::ThreadId, platform::DWORD> lastErrors_;
  bool ended_ = false;
  platform::DWORD exitCode_ = 259;  // STILL_ACTIVE

  std::unique_ptr<SimKernel> kernel_;
  std::unique_ptr<SimRegistry> registry_;
  std::unique_ptr<SimSecurity> security_;
  std::unique_ptr<SimUi> ui_;
  std::unique_ptr<SimShell> shell_;
  std::unique_ptr<SimDialogs> dialogs_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace sim
