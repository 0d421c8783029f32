#include "support/sim_fixture.h"

#include "sim/filesystem.h"

namespace testsupport {

TestPc::TestPc(sim::PcConfig config) {
  config.sandbox = sandbox_.path();
  pc_ = std::make_unique<sim::SimPc>(config);
  pc_->files().makeFolder("C:\\NORBIX");
}

sim::RunEnd TestPc::runProgram(std::function<platform::DWORD(platform::Platform&)> body,
                               const std::string& imagePath,
                               const std::string& arguments, sim::Millis limit) {
  std::size_t slash = imagePath.find_last_of('\\');
  std::string name = imagePath.substr(slash + 1);
  std::string folder = imagePath.substr(0, slash);
  pc_->installProgram(name, std::move(body));
  std::string commandLine = "\"" + imagePath + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  last_ = pc_->startProcess(imagePath, commandLine, folder);
  return pc_->run(limit);
}

}  // namespace testsupport
