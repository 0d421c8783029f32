#include "scenario.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "hushrun64/sim_program.h"
#include "keyprune/sim_program.h"
#include "shell/updater_app.h"
#include "sim/commands.h"
#include "sim/filesystem.h"
#include "sim/process.h"
#include "sim/transcript.h"
#include "sim/windows.h"
#include "sim_program.h"
#include "testkit/update_file_maker.h"

namespace simkit {

namespace {

std::string readHostFile(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

std::vector<std::pair<std::string, std::string>> hostFolderFiles(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      std::string path = folder + "/" + name;
      struct stat st;
      if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        files.emplace_back(name, readHostFile(path));
      }
    }
    ::closedir(dir);
  }
  return files;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> demoFolder() {
  norbix::testkit::UpdateFileOptions options;
  options.versionText = "2.05";
  options.productId = 0x1101;
  auto file = norbix::testkit::makeUpdateFile(options);
  return {{"UPDATE_KA.DFU", std::string(file.begin(), file.end())}};
}

Scenario::Scenario(ScenarioOptions options)
    : options_(std::move(options)) {
  sim::PcConfig config;
  config.os = options_.os;
  config.codePage = options_.japanese ? 932 : 1252;
  config.administrator = options_.administrator;
  config.sandbox = sandbox_.path();
  pc_ = std::make_unique<sim::SimPc>(config);
  pc_->user().script().answers = options_.answers;
  pc_->user().script().actions = options_.actions;
  norbix::installUpdater(*pc_, "Norbix.exe", [this](norbix::UpdaterApp& app) {
    if (options_.dumpState) dumpState(app);
  });
  // The companions the updater launches, and the interpreter they run.
  sim::installCommandInterpreter(*pc_);
  keyprune::installKeyRemover(*pc_);
  hushrun::installLauncher(*pc_);
  if (options_.secondInstance) {
    pc_->onFirstWindow = [this](sim::Process& process) {
      if (process.imageName() == "Norbix.exe" && updatersStarted_ == 1) startUpdater();
    };
  }
  placeFiles();
}

Scenario::~Scenario() {
  pc_.reset();
}

void Scenario::placeFiles() {
  sim::FileSystem& fs = pc_->files();
  fs.makeFolder(kProgramFolder);
  // The image file itself, so that the folder lists it as on a real PC.
  fs.writeFile(kUpdaterPath, "MZ");
  auto files = options_.folder ? hostFolderFiles(*options_.folder) : demoFolder();
  for (const auto& [name, bytes] : files) {
    fs.writeFile(std::string(kProgramFolder) + "\\" + name, bytes);
  }
  for (const auto& [name, bytes] : options_.files) {
    fs.writeFile(std::string(kProgramFolder) + "\\" + name, bytes);
  }
}

sim::Process* Scenario::startUpdater() {
  sim::Process* process = pc_->startProcess(
      kUpdaterPath, std::string("\"") + kUpdaterPath + "\"", kProgramFolder);
  if (process != nullptr && ++updatersStarted_ == 1) process->setTagged(false);
  return process;
}

void Scenario::dumpState(norbix::UpdaterApp& app) {
  // Called on the updater's own thread, at the end of its run.
  sim::Process* self = nullptr;
  for (auto& p : pc_->processes()) {
    if (&p->platform() == &app.platform()) self = p.get();
  }
  if (self == nullptr) return;
  const norbix::SharedState& s = app.state();
  auto line = [self](const std::string& name, long long value) {
    self->log("state " + name + "=" + std::to_string(value));
  };
  line("readerVariant", norbix::load(s.readerVariant));
  line("isWin9x", norbix::load(s.isWin9x));
  line("isX64Windows", norbix::load(s.isX64Windows));
  line("shutdownRequested", norbix::load(s.shutdownRequested));
  line("updateState", norbix::load(s.updateState));
  line("updateSucceeded", norbix::load(s.updateSucceeded));
  line("readerAttached", norbix::load(s.readerAttached));
  line("firmwareAlreadyCurrent", norbix::load(s.firmwareAlreadyCurrent));
  line("savedUpdateState", norbix::load(s.savedUpdateState));
  line("connectedVendorId", s.connectedVendorId.load(std::memory_order_relaxed));
  line("connectedProductId", s.connectedProductId.load(std::memory_order_relaxed));
  line("updateFileCount", app.updateFileCount);
  unsigned cp = pc_->config().codePage;
  for (int i = 0; i < norbix::kMaxUpdateFiles; ++i) {
    self->log("state updateFileNames[" + std::to_string(i) + "]=" +
              sim::escapeText(app.updateFileNames[i], cp));
  }
}

Outcome Scenario::run() {
  if (updatersStarted_ == 0) startUpdater();
  sim::RunEnd end = pc_->run(options_.timeLimit);
  sim::Millis now = pc_->scheduler().now();
  switch (end) {
    case sim::RunEnd::Finished:
      return Outcome::Ended;
    case sim::RunEnd::Stuck:
      pc_->transcript().add(now, "", "note stuck");
      return Outcome::Stuck;
    case sim::RunEnd::TimeLimit:
      pc_->transcript().add(now, "", "note time-limit");
      return Outcome::TimeLimit;
  }
  return Outcome::Stuck;
}

const std::vector<std::string>& Scenario::transcript() const {
  return pc_->transcript().lines();
}

}  // namespace simkit
