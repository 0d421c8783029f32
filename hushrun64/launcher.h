// hushrun64: runs the command line it was given as a process without a
// console window and waits for that process to end. The 32-bit updater uses
// it so that the command interpreter runs as a 64-bit process and sees the
// native system folder.
#pragma once

#include "platform/kernel.h"

namespace hushrun {

// The text after the program name, skipped as the Windows start-up code
// does: up to the first character of code 32 or less outside double quotes
// (so a quoted name may hold blanks), then every character of code 32 or
// less.
const char* commandAfterProgramName(const char* commandLine);

// One run: 0 when the process could not be created, 1 once it has ended.
// The command's own exit code is not passed on. Only kernel services are
// needed: the launcher has no window, no resources and no message.
platform::DWORD runLauncher(platform::Kernel& kernel);

}  // namespace hushrun
