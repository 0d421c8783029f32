#include "win32/win32_platform.h"

namespace platform::win32 {

Win32Platform::Win32Platform()
    : platform_{kernel_, registry_, security_, ui_, shell_, dialogs_} {}

}  // namespace platform::win32
