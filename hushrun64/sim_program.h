// Installs hushrun64 as a program of a simulated PC.
#pragma once

#include <string>

#include "sim/pc.h"

namespace hushrun {

void installLauncher(sim::SimPc& pc, const std::string& imageName = "hushrun64.exe");

}  // namespace hushrun
