// Dialogs and their controls, Windows-shaped: a modal run from a template of
// the program's resources with a dialog procedure, and the window calls the
// dialog code makes on its controls. Thin on purpose: the calls keep the
// arguments and codes of the user32/gdi32 functions they stand for.
#pragma once

#include <cstdint>

#include "platform/shell.h"
#include "platform/types.h"
#include "platform/ui.h"

namespace platform {

using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using HMENU = std::uintptr_t;
using HICON = std::uintptr_t;
using HDC = std::uintptr_t;
using HBRUSH = std::uintptr_t;
using COLORREF = DWORD;
using HDEVNOTIFY = std::uintptr_t;

// The dialog procedure: called for every message of the dialog from
// WM_INITDIALOG on, on the thread that runs the dialog. Returns non-zero
// when it handled the message; zero asks for the default handling.
// Windows hands the dialogBoxParamA parameter only to WM_INITDIALOG; the
// backends keep it and hand it to every call as `param`, so that dialog
// code finds its object without a table of windows.
using DialogProc = INT_PTR (*)(LPARAM param, HWND dialog, UINT message,
                               WPARAM wParam, LPARAM lParam);

// Messages.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_ICONERASEBKGND = 0x0027;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
inline constexpr UINT WM_DEVICECHANGE = 0x0219;

inline constexpr UINT BN_CLICKED = 0;
inline constexpr UINT SC_CLOSE = 0xF060;
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;

// ShowWindow (SW_HIDE lives in shell.h, which ShellExecuteA needs).
inline constexpr int SW_SHOW = 5;

// Menus.
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_SEPARATOR = 0x0800;

// PeekMessageA.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// Dialog window values: the result of a message that returns one through
// the window (WM_DEVICECHANGE, WM_QUERYENDSESSION), and the word the dialog
// code keeps for itself.
inline constexpr int DWLP_MSGRESULT = 0;
inline constexpr int DWLP_USER =
    static_cast<int>(sizeof(LRESULT) + sizeof(DialogProc));

// Drawing.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
  return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) |
         (static_cast<COLORREF>(blue) << 16);
}

// Device notifications.
inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;
inline constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;

// GetOpenFileNameA.
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

struct DEV_BROADCAST_HDR {
  DWORD dbch_size;
  DWORD dbch_devicetype;
  DWORD dbch_reserved;
};

struct DEV_BROADCAST_DEVICEINTERFACE_A {
  DWORD dbcc_size;
  DWORD dbcc_devicetype;
  DWORD dbcc_reserved;
  GUID dbcc_classguid;
  char dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32,
              "the filter size Windows checks");

// The fields of OPENFILENAMEA the programs set; the backend fills the rest.
struct OpenFileNameA {
  HWND hwndOwner;
  const char* lpstrFilter;  // pairs of NUL-terminated strings, then a NUL
  char* lpstrFile;          // in: initial name; out: the chosen path
  DWORD nMaxFile;
  const char* lpstrDefExt;
  DWORD Flags;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // DialogBoxParamA with a template of the program's own resources: runs
  // the dialog modally and returns what EndDialog was given (-1 when the
  // template cannot be loaded). `param` arrives as WM_INITDIALOG's lParam.
  virtual INT_PTR dialogBoxParamA(UINT templateId, HWND owner, DialogProc proc,
                                  LPARAM param) = 0;
  virtual BOOL endDialog(HWND dialog, INT_PTR result) = 0;

  virtual HWND getDlgItem(HWND dialog, int id) = 0;
  virtual BOOL setWindowTextA(HWND window, const char* text) = 0;
  virtual int getWindowTextA(HWND window, char* buffer, int bufferSize) = 0;
  virtual BOOL showWindow(HWND window, int command) = 0;  // previous visibility
  virtual BOOL isWindowVisible(HWND window) = 0;
  virtual BOOL enableWindow(HWND window, BOOL enable) = 0;  // was disabled
  virtual BOOL isWindowEnabled(HWND window) = 0;
  virtual HWND setFocus(HWND window) = 0;  // previous focus
  virtual BOOL isIconic(HWND window) = 0;
  virtual BOOL getClientRect(HWND window, RECT* rect) = 0;
  virtual LONG_PTR setWindowLongPtrA(HWND window, int index,
                                     LONG_PTR value) = 0;
  virtual LONG_PTR getWindowLongPtrA(HWND window, int index) = 0;

  // Removes or looks at the next message of the calling thread's queue.
  virtual BOOL peekMessageA(MSG* message, HWND window, UINT first, UINT last,
                            UINT remove) = 0;

  virtual HMENU getSystemMenu(HWND window, BOOL revert) = 0;
  virtual BOOL appendMenuA(HMENU menu, UINT flags, UINT_PTR id,
                           const char* text) = 0;

  // LoadIconA from the program's own resources.
  virtual HICON loadIconA(UINT id) = 0;
  virtual int getSystemMetrics(int index) = 0;

  // Painting and control colours.
  virtual HDC beginPaint(HWND window) = 0;
  virtual void endPaint(HWND window, HDC dc) = 0;
  virtual BOOL drawIcon(HDC dc, int x, int y, HICON icon) = 0;
  virtual int setBkMode(HDC dc, int mode) = 0;
  virtual COLORREF setTextColor(HDC dc, COLORREF color) = 0;
  virtual HBRUSH getSysColorBrush(int index) = 0;

  // RegisterDeviceNotificationA; `filter` is a DEV_BROADCAST_* header.
  virtual HDEVNOTIFY registerDeviceNotificationA(HWND recipient,
                                                 const void* filter,
                                                 DWORD flags) = 0;

  // GetOpenFileNameA: non-zero when the user picked a file.
  virtual BOOL getOpenFileNameA(OpenFileNameA* request) = 0;
};

}  // namespace platform
