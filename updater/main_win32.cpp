// The updater's Windows entry point: the real platform, one run.
#include "shell/updater_app.h"
#include "win32/win32_platform.h"

int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  platform::win32::Win32Platform windows;
  return static_cast<int>(norbix::runUpdater(windows.get()));
}
