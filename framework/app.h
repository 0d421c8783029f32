// The small part of an application framework that the programs use: an
// application object that knows its executable name and runs its start-up
// routine once. A program's whole run happens inside initInstance.
#pragma once

#include <string>

#include "platform/platform.h"

namespace framework {

class Dialog;

class App {
 public:
  explicit App(platform::Platform& platform);
  virtual ~App() = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Returns false when the program is to end without a message loop, which
  // is what both programs always do.
  virtual bool initInstance() = 0;

  // The running program's file name without folder and extension.
  const std::string& exeName() const { return exeName_; }
  platform::Platform& platform() { return platform_; }

  // The window the program runs as its main window while it is open.
  Dialog* mainWindow = nullptr;

 private:
  platform::Platform& platform_;
  std::string exeName_;
};

// LoadStringA into a string; empty when the id is missing.
std::string loadString(platform::Ui& ui, platform::UINT id);

}  // namespace framework
