// The command interpreter of the simulated PC, as far as the updater's
// companions use it: "cmd /ccopy SRC DST" and "cmd /cdel PATH".
#pragma once

#include <string>
#include <vector>

#include "pc.h"

namespace sim {

// Installs "cmd.exe". It runs the command after /c the way the Windows
// command interpreter would: relative names are resolved in its current
// folder (the starter's), copy overwrites an existing destination and copies
// into a folder under the source's name, del deletes the named files. Any
// other command, or one that fails, ends with exit code 1 and nothing else.
void installCommandInterpreter(SimPc& pc, const std::string& imageName = "cmd.exe");

// The words of a command line after the command, split at blanks and tabs;
// double quotes group blanks into a word and are dropped.
std::vector<std::string> commandArguments(const std::string& text);

}  // namespace sim
