#include "keyprune/sim_program.h"

#include "keyprune/key_remover_app.h"

namespace keyprune {

std::vector<sim::StringResource> keyRemoverStrings() {
  return {
#define KEYPRUNE_STRING(japaneseId, englishId, english, japanese) \
  {japaneseId, japanese, japanese}, {englishId, english, english},
#include "keyprune/resources/catalog.def"
#undef KEYPRUNE_STRING
  };
}

void installKeyRemover(sim::SimPc& pc, const std::string& imageName) {
  pc.installProgram(imageName, [](platform::Platform& platform) { return runKeyRemover(platform); },
                    keyRemoverStrings());
}

}  // namespace keyprune
