// The updater's Windows entry point: the real platform, one run.
#include "shell/updater_app.h"
#include "win32/win32_platform.h"

int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  platform::win32::Win32Platform windows;
  // The program ends while the application still owns the update-file
  // images: a worker thread that still reads them never sees them freed.
  return static_cast<int>(norbix::runUpdater(windows.get(), [](norbix::UpdaterApp&) {
    platform::win32::Win32Platform::exitProcess(0);
  }));
}
