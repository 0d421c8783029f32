#include "hushrun64/sim_program.h"

#include "hushrun64/launcher.h"

namespace hushrun {

void installLauncher(sim::SimPc& pc, const std::string& imageName) {
  pc.installProgram(imageName, [](platform::Platform& platform) { return runLauncher(platform.kernel); });
}

}  // namespace hushrun
