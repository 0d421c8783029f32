#include "win32/win32_platform.h"

#include "win32/win32_windows.h"

namespace platform::win32 {

Win32Platform::Win32Platform()
    : platform_{kernel_, registry_, security_, ui_, shell_, dialogs_} {}

void Win32Platform::exitProcess(unsigned code) { ExitProcess(code); }

}  // namespace platform::win32
