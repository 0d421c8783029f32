// Installs keyprune as a program of a simulated PC.
#pragma once

#include <string>
#include <vector>

#include "sim/pc.h"

namespace keyprune {

// The catalog as the simulated PC's string table: each id carries its one
// text in both columns, since the tool chooses its language by id.
std::vector<sim::StringResource> keyRemoverStrings();

void installKeyRemover(sim::SimPc& pc, const std::string& imageName = "keyprune.exe");

}  // namespace keyprune
