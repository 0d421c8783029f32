#include "app.h"

namespace framework {

namespace {

std::string exeNameFrom(const char* modulePath) {
  std::string name = modulePath;
  std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

App::App(platform::Platform& platform) : platform_(platform) {
  char path[platform::MAX_PATH] = {};
  platform.kernel.getModuleFileNameA(path, sizeof path);
  exeName_ = exeNameFrom(path);
}

std::string loadString(platform::Ui& ui, platform::UINT id) {
  // Longer than any text of the catalogs.
  char buffer[4096];
  int n = ui.loadStringA(id, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace framework
