// Window services the programs use outside their dialogs: message boxes and
// the end of the Windows session. Dialogs and controls have their own
// interface (dialogs.h).
#pragma once

#include "platform/types.h"

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Progress bar messages.
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT PBM_SETRANGE = WM_USER + 1;
inline constexpr UINT PBM_SETPOS = WM_USER + 2;
inline constexpr UINT PBM_DELTAPOS = WM_USER + 3;
inline constexpr UINT PBM_SETSTEP = WM_USER + 4;
inline constexpr UINT PBM_STEPIT = WM_USER + 5;
inline constexpr UINT PBM_GETPOS = WM_USER + 8;

// MessageBoxA types.
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_ICONHAND = 0x10;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONSTOP = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONASTERISK = 0x40;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_ICONMASK = 0xF0;
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;

// Dialog and message-box results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// ExitWindowsEx.
inline constexpr UINT EWX_LOGOFF = 0x0;
inline constexpr UINT EWX_SHUTDOWN = 0x1;
inline constexpr UINT EWX_REBOOT = 0x2;
inline constexpr UINT EWX_FORCE = 0x4;
inline constexpr UINT EWX_POWEROFF = 0x8;

class Ui {
 public:
  virtual ~Ui() = default;

  virtual int messageBoxA(HWND owner, const char* text, const char* caption,
                          UINT type) = 0;
  // LoadStringA from the program's own string table, in the language the
  // resource loader picks for the thread; returns the length copied.
  virtual int loadStringA(UINT id, char* buffer, int bufferSize) = 0;
  virtual BOOL exitWindowsEx(UINT flags, DWORD reason) = 0;

  // Window messages to a window or control, as SendMessageA and
  // PostMessageA deliver them.
  virtual LRESULT sendMessageA(HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) = 0;
  virtual BOOL postMessageA(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) = 0;
};

}  // namespace platform
