// platform::Ui and platform::Shell for one simulated process.
#pragma once

#include "platform/shell.h"
#include "platform/ui.h"

namespace sim {

class Process;

class SimUi : public platform::Ui {
 public:
  explicit SimUi(Process& process) : process_(process) {}
  int messageBoxA(platform::HWND owner, const char* text, const char* caption,
                  platform::UINT type) override;
  int loadStringA(platform::UINT id, char* buffer, int bufferSize) override;
  platform::BOOL exitWindowsEx(platform::UINT flags,
                               platform::DWORD reason) override;
  platform::LRESULT sendMessageA(platform::HWND window, platform::UINT message,
                                 platform::WPARAM wParam,
                                 platform::LPARAM lParam) override;
  platform::BOOL postMessageA(platform::HWND window, platform::UINT message,
                              platform::WPARAM wParam,
                              platform::LPARAM lParam) override;

 private:
  Process& process_;
};

class SimShell : public platform::Shell {
 public:
  explicit SimShell(Process& process) : process_(process) {}
  std::intptr_t shellExecuteA(platform::HWND owner, const char* verb,
                              const char* file, const char* parameters,
                              const char* directory, int show) override;

 private:
  Process& process_;
};

// Puts a window of `process` on screen, noting its first window for the
// scenario runner's hooks.
class SimWindow;
void openWindow(Process& process, SimWindow& window);

}  // namespace sim
