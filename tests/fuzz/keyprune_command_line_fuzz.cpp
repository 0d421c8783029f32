// Fuzz target: keyprune's command line, as any bytes, through the program
// name skip, the upper-casing on both code pages and the word split.
#include <cstdint>
#include <string>

#include "keyprune/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();  // a command line ends at its first NUL
  std::string arguments = keyprune::argumentsOf(line.c_str());
  for (unsigned codePage : {932u, 1252u}) {
    std::string upper = arguments;
    keyprune::upperCaseInPlace(upper, codePage);
    if (upper.size() != arguments.size()) __builtin_trap();
    keyprune::Options options = keyprune::parseWords(upper);
    keyprune::isDeviceKeyPath(options.keyPath);
  }
  return 0;
}
