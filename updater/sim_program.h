// Installs the updater as a program of a simulated PC.
#pragma once

#include <functional>
#include <string>

#include "shell/updater_app.h"
#include "sim/pc.h"

namespace norbix {

std::vector<sim::StringResource> updaterStrings();
std::vector<sim::DialogResource> updaterDialogs();

// `atEnd` is handed to runUpdater for every run of the program.
void installUpdater(sim::SimPc& pc, const std::string& imageName = "Norbix.exe",
                    std::function<void(UpdaterApp&)> atEnd = {});

}  // namespace norbix
