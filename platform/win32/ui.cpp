// platform::Ui on user32: message boxes, the program's string table, window
// messages and the end of the Windows session.
#include "platform/ui.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
// clang-format off
#define NORBIX_UI_CONSTANTS(X)                                                \
  X(MB_OK) X(MB_OKCANCEL) X(MB_YESNOCANCEL) X(MB_YESNO) X(MB_ICONHAND)        \
  X(MB_ICONERROR) X(MB_ICONSTOP) X(MB_ICONQUESTION) X(MB_ICONEXCLAMATION)     \
  X(MB_ICONWARNING) X(MB_ICONASTERISK) X(MB_ICONINFORMATION) X(MB_ICONMASK)   \
  X(MB_TYPEMASK) X(MB_DEFBUTTON2) X(IDOK) X(IDCANCEL) X(IDABORT) X(IDRETRY)   \
  X(IDIGNORE) X(IDYES) X(IDNO) X(EWX_LOGOFF) X(EWX_SHUTDOWN) X(EWX_REBOOT)    \
  X(EWX_FORCE) X(EWX_POWEROFF) X(WM_USER) X(PBM_SETRANGE) X(PBM_SETPOS)      \
  X(PBM_DELTAPOS) X(PBM_SETSTEP) X(PBM_STEPIT) X(PBM_GETPOS)
// clang-format on

NORBIX_UI_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

#include <commctrl.h>

NORBIX_UI_CONSTANTS(NORBIX_SAME_VALUE)

namespace platform::win32 {

int Win32Ui::messageBoxA(platform::HWND owner, const char* text,
                         const char* caption, platform::UINT type) {
  return MessageBoxA(toWinWindow(owner), text, caption, type);
}

int Win32Ui::loadStringA(platform::UINT id, char* buffer, int bufferSize) {
  // With a size of 0 Windows would hand back a pointer into the resource in
  // place of text; there is no room for text anyway.
  if (buffer == nullptr || bufferSize <= 0) return 0;
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, bufferSize);
}

platform::BOOL Win32Ui::exitWindowsEx(platform::UINT flags,
                                      platform::DWORD reason) {
  return ExitWindowsEx(flags, reason);
}

platform::LRESULT Win32Ui::sendMessageA(platform::HWND window,
                                        platform::UINT message,
                                        platform::WPARAM wParam,
                                        platform::LPARAM lParam) {
  return SendMessageA(toWinWindow(window), message, wParam, lParam);
}

platform::BOOL Win32Ui::postMessageA(platform::HWND window,
                                     platform::UINT message,
                                     platform::WPARAM wParam,
                                     platform::LPARAM lParam) {
  return PostMessageA(toWinWindow(window), message, wParam, lParam);
}

}  // namespace platform::win32
