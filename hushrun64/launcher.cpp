#include "hushrun64/launcher.h"

#include <string>
#include <vector>

namespace hushrun {

using namespace platform;

const char* commandAfterProgramName(const char* commandLine) {
  // Compared as unsigned bytes, as the start-up code does: a byte of 0x80
  // or above is part of the name, not a separator.
  const auto* p = reinterpret_cast<const unsigned char*>(commandLine);
  if (p == nullptr) return "";
  bool quoted = false;
  while (*p > ' ' || (*p != '\0' && quoted)) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

DWORD runLauncher(Kernel& kernel) {
  std::string command = commandAfterProgramName(kernel.getCommandLineA());
  // CreateProcessA may write into its command line, so it gets a copy.
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  ProcessInformation process{};
  if (!kernel.createProcessA(nullptr, line.data(), CREATE_NO_WINDOW, &process)) {
    return 0;
  }
  // However long the copy or delete takes, the launcher ends only after it.
  kernel.waitForSingleObject(process.hProcess, INFINITE);
  kernel.closeHandle(process.hProcess);
  kernel.closeHandle(process.hThread);
  return 1;
}

}  // namespace hushrun
