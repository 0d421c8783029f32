#include "process.h"

#include <exception>

#include "dialogs.h"
#include "kernel.h"
#include "registry.h"
#include "security.h"
#include "transcript.h"
#include "ui.h"
#include "windows.h"

namespace sim {

Process::Process(SimPc& pc, int number, std::string imagePath,
                 std::string commandLine, std::string currentFolder)
    : pc_(pc),
      number_(number),
      imagePath_(std::move(imagePath)),
      commandLine_(std::move(commandLine)),
      currentFolder_(std::move(currentFolder)) {
  std::size_t slash = imagePath_.find_last_of('\\');
  imageName_ = slash == std::string::npos ? imagePath_ : imagePath_.substr(slash + 1);
  kernel_ = std::make_unique<SimKernel>(*this);
  registry_ = std::make_unique<SimRegistry>(*this);
  security_ = std::make_unique<SimSecurity>(*this);
  ui_ = std::make_unique<SimUi>(*this);
  shell_ = std::make_unique<SimShell>(*this);
  dialogs_ = std::make_unique<SimDialogs>(*this);
  platform_ = std::make_unique<platform::Platform>(platform::Platform{
      *kernel_, *registry_, *security_, *ui_, *shell_, *dialogs_});
}

Process::~Process() = default;

std::string Process::tag() const {
  if (!tagged_) return "";
  return "[" + imageName_ + "#" + std::to_string(number_) + "]";
}

void Process::log(const std::string& event) {
  pc_.transcript().add(pc_.scheduler().now(), tag(), event);
}

bool Process::owns(Scheduler::ThreadId thread) const {
  for (auto id : threads_) {
    if (id == thread) return true;
  }
  return false;
}

platform::DWORD& Process::lastError() {
  return lastErrors_[pc_.scheduler().current()];
}

void Process::checkAlive() {
  Scheduler& scheduler = pc_.scheduler();
  auto current = scheduler.current();
  if (current >= 0 && owns(current) && scheduler.killed(current) &&
      std::uncaught_exceptions() == 0) {
    throw ThreadKilled{};
  }
}

const Program* Process::program() const { return pc_.program(imageName_); }

void Process::terminate(platform::DWORD exitCode) {
  if (ended_) return;
  ended_ = true;
  exitCode_ = exitCode;
  for (auto id : threads_) pc_.scheduler().kill(id);
  pc_.windows().closeAllOf(*this);
  handles_.clear();
  pc_.processEnded(*this);
}

}  // namespace sim
