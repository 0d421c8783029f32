// platform::Dialogs on user32, gdi32 and comdlg32: real dialogs from the
// program's resource templates, A functions only.
#include "platform/dialogs.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
// clang-format off
#define NORBIX_DIALOG_CONSTANTS(X)                                            \
  X(WM_NULL) X(WM_PAINT) X(WM_CLOSE) X(WM_QUERYENDSESSION) X(WM_QUIT)         \
  X(WM_ENDSESSION) X(WM_ICONERASEBKGND) X(WM_QUERYDRAGICON) X(WM_SETICON)     \
  X(WM_INITDIALOG) X(WM_COMMAND) X(WM_SYSCOMMAND) X(WM_CTLCOLORSTATIC)        \
  X(WM_DEVICECHANGE) X(BN_CLICKED) X(SC_CLOSE) X(ICON_SMALL) X(ICON_BIG)      \
  X(SW_SHOW) X(MF_STRING) X(MF_SEPARATOR) X(PM_NOREMOVE)           \
  X(PM_REMOVE) X(DWLP_MSGRESULT) X(DWLP_USER) X(TRANSPARENT) X(OPAQUE)        \
  X(COLOR_BTNFACE) X(SM_CXICON) X(SM_CYICON) X(OFN_HIDEREADONLY)              \
  X(OFN_FILEMUSTEXIST)
// clang-format on

NORBIX_DIALOG_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

#include <commctrl.h>
#include <commdlg.h>

NORBIX_DIALOG_CONSTANTS(NORBIX_SAME_VALUE)

// Windows 98 has RegisterDeviceNotificationA, but the headers declare it
// only for WINVER 0x0500 and later, which the deliverables do not set.
extern "C" __declspec(dllimport) void* WINAPI
RegisterDeviceNotificationA(::HANDLE recipient, void* filter, ::DWORD flags);

namespace platform::win32 {

namespace {

// The program's dialog procedure and its WM_INITDIALOG parameter, kept in
// the window's user data: Windows calls back with its own calling
// convention and handle types.
struct Binding {
  platform::DialogProc proc;
  platform::LPARAM param;
};

INT_PTR CALLBACK dialogAdapter(::HWND window, ::UINT message, ::WPARAM wParam,
                               ::LPARAM lParam) {
  Binding* binding = nullptr;
  if (message == WM_INITDIALOG) {
    binding = reinterpret_cast<Binding*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(binding));
    lParam = binding->param;
  } else {
    binding = reinterpret_cast<Binding*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) get the default handling.
  if (binding == nullptr) return FALSE;
  return binding->proc(binding->param, reinterpret_cast<platform::HWND>(window),
                       message, wParam, lParam);
}

::HDC toWinDc(platform::HDC dc) { return reinterpret_cast<::HDC>(dc); }

static_assert(sizeof(::PAINTSTRUCT) <= 80 && alignof(::PAINTSTRUCT) <= 8,
              "Win32Dialogs::paint_ holds a PAINTSTRUCT");

}  // namespace

platform::INT_PTR Win32Dialogs::dialogBoxParamA(platform::UINT templateId,
                                                platform::HWND owner,
                                                platform::DialogProc proc,
                                                platform::LPARAM param) {
  // The main dialog holds a progress bar.
  InitCommonControls();
  Binding binding{proc, param};
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                         toWinWindow(owner), dialogAdapter,
                         reinterpret_cast<::LPARAM>(&binding));
}

platform::BOOL Win32Dialogs::endDialog(platform::HWND dialog,
                                       platform::INT_PTR result) {
  return EndDialog(toWinWindow(dialog), result);
}

platform::HWND Win32Dialogs::getDlgItem(platform::HWND dialog, int id) {
  return reinterpret_cast<platform::HWND>(GetDlgItem(toWinWindow(dialog), id));
}

platform::BOOL Win32Dialogs::setWindowTextA(platform::HWND window,
                                            const char* text) {
  return SetWindowTextA(toWinWindow(window), text);
}

int Win32Dialogs::getWindowTextA(platform::HWND window, char* buffer,
                                 int bufferSize) {
  return GetWindowTextA(toWinWindow(window), buffer, bufferSize);
}

platform::BOOL Win32Dialogs::showWindow(platform::HWND window, int command) {
  return ShowWindow(toWinWindow(window), command);
}

platform::BOOL Win32Dialogs::isWindowVisible(platform::HWND window) {
  return IsWindowVisible(toWinWindow(window));
}

platform::BOOL Win32Dialogs::enableWindow(platform::HWND window,
                                          platform::BOOL enable) {
  return EnableWindow(toWinWindow(window), enable);
}

platform::BOOL Win32Dialogs::isWindowEnabled(platform::HWND window) {
  return IsWindowEnabled(toWinWindow(window));
}

platform::HWND Win32Dialogs::setFocus(platform::HWND window) {
  return reinterpret_cast<platform::HWND>(SetFocus(toWinWindow(window)));
}

platform::BOOL Win32Dialogs::isIconic(platform::HWND window) {
  return IsIconic(toWinWindow(window));
}

platform::BOOL Win32Dialogs::getClientRect(platform::HWND window,
                                           platform::RECT* rect) {
  ::RECT r{};
  if (!GetClientRect(toWinWindow(window), &r)) return FALSE;
  *rect = platform::RECT{r.left, r.top, r.right, r.bottom};
  return TRUE;
}

platform::LONG_PTR Win32Dialogs::setWindowLongPtrA(platform::HWND window,
                                                   int index,
                                                   platform::LONG_PTR value) {
  return SetWindowLongPtrA(toWinWindow(window), index, value);
}

platform::LONG_PTR Win32Dialogs::getWindowLongPtrA(platform::HWND window,
                                                   int index) {
  return GetWindowLongPtrA(toWinWindow(window), index);
}

platform::BOOL Win32Dialogs::peekMessageA(platform::MSG* message,
                                          platform::HWND window,
                                          platform::UINT first,
                                          platform::UINT last,
                                          platform::UINT remove) {
  ::MSG m{};
  if (!PeekMessageA(&m, toWinWindow(window), first, last, remove)) return FALSE;
  if (message != nullptr) {
    *message = platform::MSG{reinterpret_cast<platform::HWND>(m.hwnd), m.message,
                             m.wParam, m.lParam, m.time, {m.pt.x, m.pt.y}};
  }
  return TRUE;
}

platform::HMENU Win32Dialogs::getSystemMenu(platform::HWND window,
                                            platform::BOOL revert) {
  return reinterpret_cast<platform::HMENU>(GetSystemMenu(toWinWindow(window), revert));
}

platform::BOOL Win32Dialogs::appendMenuA(platform::HMENU menu, platform::UINT flags,
                                         platform::UINT_PTR id, const char* text) {
  return AppendMenuA(reinterpret_cast<::HMENU>(menu), flags, id, text);
}

platform::HICON Win32Dialogs::loadIconA(platform::UINT id) {
  return reinterpret_cast<platform::HICON>(
      LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
}

int Win32Dialogs::getSystemMetrics(int index) { return GetSystemMetrics(index); }

platform::HDC Win32Dialogs::beginPaint(platform::HWND window) {
  // One paint at a time per backend object: painting happens only on the
  // dialog's own thread, inside its WM_PAINT.
  return reinterpret_cast<platform::HDC>(BeginPaint(toWinWindow(window), reinterpret_cast<::PAINTSTRUCT*>(paint_)));
}

void Win32Dialogs::endPaint(platform::HWND window, platform::HDC /*dc*/) {
  EndPaint(toWinWindow(window), reinterpret_cast<::PAINTSTRUCT*>(paint_));
}

platform::BOOL Win32Dialogs::drawIcon(platform::HDC dc, int x, int y,
                                      platform::HICON icon) {
  return DrawIcon(toWinDc(dc), x, y, reinterpret_cast<::HICON>(icon));
}

int Win32Dialogs::setBkMode(platform::HDC dc, int mode) {
  return SetBkMode(toWinDc(dc), mode);
}

platform::COLORREF Win32Dialogs::setTextColor(platform::HDC dc,
                                              platform::COLORREF color) {
  return SetTextColor(toWinDc(dc), color);
}

platform::HBRUSH Win32Dialogs::getSysColorBrush(int index) {
  return reinterpret_cast<platform::HBRUSH>(GetSysColorBrush(index));
}

platform::HDEVNOTIFY Win32Dialogs::registerDeviceNotificationA(
    platform::HWND recipient, const void* filter, platform::DWORD flags) {
  return reinterpret_cast<platform::HDEVNOTIFY>(RegisterDeviceNotificationA(
      toWin(recipient), const_cast<void*>(filter), flags));
}

platform::BOOL Win32Dialogs::getOpenFileNameA(platform::OpenFileNameA* request) {
  ::OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = toWinWindow(request->hwndOwner);
  ofn.lpstrFilter = request->lpstrFilter;
  ofn.lpstrFile = request->lpstrFile;
  ofn.nMaxFile = request->nMaxFile;
  ofn.lpstrDefExt = request->lpstrDefExt;
  ofn.Flags = request->Flags;
  return GetOpenFileNameA(&ofn);
}

}  // namespace platform::win32
