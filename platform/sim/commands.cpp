#include "commands.h"

#include <cctype>
#include <vector>

#include "filesystem.h"

namespace sim {

using namespace platform;

namespace {

// The text after the interpreter's own name, as the start-up code skips it.
std::string afterProgramName(const char* commandLine) {
  const auto* p = reinterpret_cast<const unsigned char*>(commandLine ? commandLine : "");
  bool quoted = false;
  while (*p > ' ' || (*p != '\0' && quoted)) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// "/ccopy a b" and "/c copy a b" both give "copy a b".
bool commandAfterSlashC(const std::string& arguments, std::string* command) {
  if (arguments.size() < 2 || arguments[0] != '/' ||
      std::toupper(static_cast<unsigned char>(arguments[1])) != 'C') {
    return false;
  }
  std::size_t at = 2;
  while (at < arguments.size() && isBlank(arguments[at])) ++at;
  *command = arguments.substr(at);
  return true;
}

std::vector<std::string> withoutSwitches(const std::vector<std::string>& words) {
  std::vector<std::string> names;
  for (const std::string& w : words) {
    if (!w.empty() && w[0] != '/') names.push_back(w);
  }
  return names;
}

std::string fileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

DWORD copyCommand(Kernel& kernel, const std::vector<std::string>& names) {
  if (names.empty() || names.size() > 2) return 1;
  std::string destination = names.size() == 2 ? names[1] : ".";
  DWORD attributes = kernel.getFileAttributesA(destination.c_str());
  if (attributes != 0xFFFFFFFFu && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    destination += "\\" + fileNameOf(names[0]);
  }
  return kernel.copyFileA(names[0].c_str(), destination.c_str(), 0) ? 0 : 1;
}

DWORD delCommand(Kernel& kernel, const std::vector<std::string>& names) {
  if (names.empty()) return 1;
  DWORD result = 0;
  for (const std::string& name : names) {
    if (!kernel.deleteFileA(name.c_str())) result = 1;
  }
  return result;
}

DWORD runInterpreter(Platform& platform) {
  Kernel& kernel = platform.kernel;
  std::string command;
  if (!commandAfterSlashC(afterProgramName(kernel.getCommandLineA()), &command)) return 1;
  std::size_t end = 0;
  while (end < command.size() && !isBlank(command[end])) ++end;
  std::string verb = upperAscii(command.substr(0, end));
  std::vector<std::string> names = withoutSwitches(commandArguments(command.substr(end)));
  if (verb == "COPY") return copyCommand(kernel, names);
  if (verb == "DEL" || verb == "ERASE") return delCommand(kernel, names);
  return 1;
}

}  // namespace

std::vector<std::string> commandArguments(const std::string& text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at >= text.size()) break;
    std::string word;
    bool quoted = false;
    for (; at < text.size() && (quoted || !isBlank(text[at])); ++at) {
      if (text[at] == '"') {
        quoted = !quoted;
      } else {
        word += text[at];
      }
    }
    words.push_back(word);
  }
  return words;
}

void installCommandInterpreter(SimPc& pc, const std::string& imageName) {
  pc.installProgram(imageName, runInterpreter);
}

}  // namespace sim
