#include "sim_program.h"

namespace norbix {

std::vector<sim::StringResource> updaterStrings() {
  return {
#define NORBIX_STRING(id, english, japanese) {id, english, japanese},
#include "resources/catalog.def"
#undef NORBIX_STRING
  };
}

void installUpdater(sim::SimPc& pc, const std::string& imageName,
                    std::function<void(UpdaterApp&)> atEnd) {
  pc.installProgram(
      imageName,
      [atEnd](platform::Platform& platform) { return runUpdater(platform, atEnd); },
      updaterStrings());
}

}  // namespace norbix
