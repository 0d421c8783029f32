// A simulated PC on a temporary sandbox, and a way to run a piece of test
// code as a program on it (with the program's platform), to its end.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/pc.h"
#include "sim/process.h"
#include "simkit/sandbox.h"

namespace testsupport {

class TestPc {
 public:
  explicit TestPc(sim::PcConfig config = {});
  sim::SimPc& pc() { return *pc_; }
  sim::SimPc* operator->() { return pc_.get(); }

  // Installs `body` as the program `imagePath` (by default
  // C:\NORBIX\TEST.EXE, current folder C:\NORBIX), starts it and runs the PC
  // until everything has ended or nothing can run. Returns how the run
  // ended; the process is `lastProcess()`.
  sim::RunEnd runProgram(std::function<platform::DWORD(platform::Platform&)> body,
                         const std::string& imagePath = "C:\\NORBIX\\TEST.EXE",
                         const std::string& arguments = "",
                         sim::Millis limit = 3600 * 1000);
  sim::Process* lastProcess() { return last_; }

 private:
  simkit::Sandbox sandbox_;
  std::unique_ptr<sim::SimPc> pc_;
  sim::Process* last_ = nullptr;
};

}  // namespace testsupport
