#include "pc.h"

#include <cstring>

#include "controls.h"
#include "filesystem.h"
#include "process.h"
#include "registry.h"
#include "transcript.h"
#include "windows.h"

namespace sim {

using namespace platform;

bool isNt(WindowsVersion os) {
  return os != WindowsVersion::Win98 && os != WindowsVersion::WinMe;
}

OSVERSIONINFOA versionInfo(WindowsVersion os) {
  // The answers real Windows gives; the 9x family repeats the version in
  // the high word of the build number.
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  const char* csd = "";
  switch (os) {
    case WindowsVersion::Win98:
      v = {sizeof v, 4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS, {}};
      csd = " A ";
      break;
    case WindowsVersion::WinMe:
      v = {sizeof v, 4, 90, 0x045A0BB8, VER_PLATFORM_WIN32_WINDOWS, {}};
      csd = " ";
      break;
    case WindowsVersion::Win2000:
      v = {sizeof v, 5, 0, 2195, VER_PLATFORM_WIN32_NT, {}};
      csd = "Service Pack 4";
      break;
    case WindowsVersion::WinXP:
      v = {sizeof v, 5, 1, 2600, VER_PLATFORM_WIN32_NT, {}};
      csd = "Service Pack 3";
      break;
    case WindowsVersion::WinXP64:
      v = {sizeof v, 5, 2, 3790, VER_PLATFORM_WIN32_NT, {}};
      csd = "Service Pack 2";
      break;
  }
  std::strncpy(v.szCSDVersion, csd, sizeof v.szCSDVersion - 1);
  return v;
}

SimPc::SimPc(PcConfig config) : config_(std::move(config)) {
  scheduler_ = std::make_unique<Scheduler>();
  transcript_ = std::make_unique<Transcript>();
  files_ = std::make_unique<FileSystem>(config_.sandbox, config_.drives);
  registry_ = std::make_unique<RegistryStore>(nt());
  windows_ = std::make_unique<WindowStack>();
  user_ = std::make_unique<ScriptedUser>(*this);
  controls_ = std::make_unique<ControlTable>();
  scheduler_->addEventSource(user_.get());
  files_->makeFolder(windowsFolder());
  files_->makeFolder(systemFolder());
}

SimPc::~SimPc() {
  // Threads unwind first: they still refer to the processes and the PC.
  scheduler_.reset();
}

std::string SimPc::systemFolder() const {
  return nt() ? "C:\\WINDOWS\\SYSTEM32" : "C:\\WINDOWS\\SYSTEM";
}

void SimPc::installProgram(const std::string& imageName, ProgramMain entry,
                           std::vector<StringResource> strings,
                           std::vector<DialogResource> dialogs) {
  programs_[upperAscii(imageName)] =
      Program{std::move(entry), std::move(strings), std::move(dialogs)};
}

const Program* SimPc::program(const std::string& imageName) const {
  auto it = programs_.find(upperAscii(imageName));
  return it == programs_.end() ? nullptr : &it->second;
}

Process* SimPc::startProcess(const std::string& imagePath,
                             const std::string& commandLine,
                             const std::string& currentFolder) {
  std::size_t slash = imagePath.find_last_of('\\');
  std::string name = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
  const Program* program = this->program(name);
  if (program == nullptr) return nullptr;
  int number = static_cast<int>(processes_.size()) + 1;
  processes_.push_back(std::make_unique<Process>(*this, number, imagePath,
                                                 commandLine, currentFolder));
  Process* process = processes_.back().get();
  ProgramMain entry = program->entry;
  auto id = scheduler_->spawn(
      name + "#" + std::to_string(number) + " main",
      [process, entry] {
        DWORD code = entry(process->platform());
        // Returning from the program's entry ends the process, and with it
        // every other thread it still has.
        process->terminate(code);
      },
      false);
  process->threads().push_back(id);
  return process;
}

void SimPc::processEnded(Process& process) {
  if (!poweringOff_) process.log("exit " + std::to_string(process.exitCode()));
}

void SimPc::powerLoss() {
  transcript_->add(scheduler_->now(), "", "note power loss");
  poweringOff_ = true;
  for (auto& process : processes_) {
    if (!process->ended()) process->terminate(0xFFFFFFFFu);
  }
  poweringOff_ = false;
  for (auto& hook : onPowerLoss) hook();
}

RunEnd SimPc::run(Millis limit) { return scheduler_->run(limit); }

}  // namespace sim
