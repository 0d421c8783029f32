// hushrun64's Windows entry point: GUI subsystem, so that no console window
// appears, and no window of its own either.
#include "hushrun64/launcher.h"
#include "win32/win32_platform.h"

int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  platform::win32::Win32Platform windows;
  return static_cast<int>(hushrun::runLauncher(windows.get().kernel));
}
