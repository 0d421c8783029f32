// keyprune's Windows entry point: the real platform, one run, no window.
#include "keyprune/key_remover_app.h"
#include "win32/win32_platform.h"

int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  platform::win32::Win32Platform windows;
  return static_cast<int>(keyprune::runKeyRemover(windows.get()));
}
