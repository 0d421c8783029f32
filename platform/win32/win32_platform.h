// The Windows backend as one object: WinMain builds a Win32Platform and hands
// get() to the program. It owns the service objects the returned Platform
// refers to, so it must outlive the program run; it cannot be copied, since
// the references would then point into the original.
//
// This header does not include <windows.h>: the programs' entry points may
// include it beside program code.
#pragma once

#include "platform/platform.h"
#include "win32/win32_services.h"

namespace platform::win32 {

class Win32Platform {
 public:
  Win32Platform();
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  platform::Platform& get() { return platform_; }
  // ExitProcess: ends every thread of the program at once.
  [[noreturn]] static void exitProcess(unsigned code);

  Win32Kernel& kernel() { return kernel_; }
  Win32Registry& registry() { return registry_; }
  Win32Security& security() { return security_; }
  Win32Ui& ui() { return ui_; }
  Win32Shell& shell() { return shell_; }
  Win32Dialogs& dialogs() { return dialogs_; }

 private:
  Win32Kernel kernel_;
  Win32Registry registry_;
  Win32Security security_;
  Win32Ui ui_;
  Win32Shell shell_;
  Win32Dialogs dialogs_;
  platform::Platform platform_;
};

}  // namespace platform::win32
