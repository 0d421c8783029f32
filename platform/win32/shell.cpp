// platform::Shell on shell32's ShellExecuteA.
#include <cstdint>

#include "platform/shell.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
#define NORBIX_SHELL_CONSTANTS(X) X(SW_HIDE) X(SW_SHOWNORMAL)

NORBIX_SHELL_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

#include <shellapi.h>

NORBIX_SHELL_CONSTANTS(NORBIX_SAME_VALUE)

namespace platform::win32 {

std::intptr_t Win32Shell::shellExecuteA(platform::HWND owner, const char* verb,
                                        const char* file,
                                        const char* parameters,
                                        const char* directory, int show) {
  // The result is an HINSTANCE only in name: an error code up to 32, or a
  // value above it on success.
  return reinterpret_cast<std::intptr_t>(ShellExecuteA(
      toWinWindow(owner), verb, file, parameters, directory, show));
}

}  // namespace platform::win32
