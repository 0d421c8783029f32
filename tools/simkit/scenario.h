// One run of the updater on a fresh simulated PC, set up the way the
// scenario runner's options describe. The runner and the tests share it, so
// a failing test can be replayed with norbix-sim.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/pc.h"
#include "simkit/sandbox.h"

namespace norbix {
class UpdaterApp;
}

namespace simkit {

struct ScenarioOptions {
  sim::WindowsVersion os = sim::WindowsVersion::WinXP;
  bool japanese = false;  // a Japanese system: code page 932
  bool administrator = true;
  // Files of the program folder: host folder to copy, else the demo folder.
  std::optional<std::string> folder;
  // Files added to (or replacing those of) the program folder, by name.
  std::vector<std::pair<std::string, std::string>> files;
  std::map<std::string, std::string> answers;             // --answer
  std::vector<std::pair<sim::Millis, std::string>> actions;  // --user
  bool secondInstance = false;
  bool dumpState = false;
  sim::Millis timeLimit = 3600 * 1000;
};

enum class Outcome { Ended, Stuck, TimeLimit };

class Scenario {
 public:
  explicit Scenario(ScenarioOptions options);
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  sim::SimPc& pc() { return *pc_; }
  static constexpr const char* kProgramFolder = "C:\\NORBIX";
  static constexpr const char* kUpdaterPath = "C:\\NORBIX\\Norbix.exe";

  // Starts a copy of the updater from its folder; the first copy started
  // writes untagged transcript lines.
  sim::Process* startUpdater();
  // Starts the updater and runs the PC until everything has ended, got
  // stuck or reached the time limit (then the last line says which).
  Outcome run();

  const std::vector<std::string>& transcript() const;

 private:
  void placeFiles();
  void dumpState(norbix::UpdaterApp& app);

  ScenarioOptions options_;
  Sandbox sandbox_;  // outlives the PC built on it
  std::unique_ptr<sim::SimPc> pc_;
  int updatersStarted_ = 0;
};

// The files of the built-in demo folder.
std::vector<std::pair<std::string, std::string>> demoFolder();

}  // namespace simkit
