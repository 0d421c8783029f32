#include "framework/dialog.h"

namespace framework {

using namespace platform;

void Control::setText(const std::string& text) {
  if (platform_) platform_->dialogs.setWindowTextA(hwnd_, text.c_str());
}

std::string Control::text() const {
  if (!platform_) return {};
  char buffer[1024];
  int n = platform_->dialogs.getWindowTextA(hwnd_, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void Control::show(bool visible) {
  if (platform_) platform_->dialogs.showWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void Control::enable(bool enabled) {
  if (platform_) platform_->dialogs.enableWindow(hwnd_, enabled ? 1 : 0);
}

void Control::focus() {
  if (platform_) platform_->dialogs.setFocus(hwnd_);
}

LRESULT Control::send(UINT message, WPARAM wParam, LPARAM lParam) {
  return platform_ ? platform_->ui.sendMessageA(hwnd_, message, wParam, lParam) : 0;
}

Dialog::Dialog(Platform& platform, UINT templateId, HWND owner)
    : platform_(platform), templateId_(templateId), owner_(owner) {}

INT_PTR Dialog::runModal() {
  INT_PTR result = platform_.dialogs.dialogBoxParamA(
      templateId_, owner_, &Dialog::trampoline, reinterpret_cast<LPARAM>(this));
  hwnd_ = 0;
  return result;
}

void Dialog::endDialog(INT_PTR result) { platform_.dialogs.endDialog(hwnd_, result); }

Control Dialog::item(int id) {
  return Control(platform_, platform_.dialogs.getDlgItem(hwnd_, id));
}

int Dialog::messageBox(const std::string& text, const std::string& caption,
                       UINT type) {
  return platform_.ui.messageBoxA(hwnd_, text.c_str(), caption.c_str(), type);
}

bool Dialog::onCommand(int id, UINT /*code*/) {
  if (id == IDOK) {
    onOK();
    return true;
  }
  if (id == IDCANCEL) {
    onCancel();
    return true;
  }
  return false;
}

INT_PTR Dialog::trampoline(LPARAM self, HWND hwnd, UINT message, WPARAM wParam,
                           LPARAM lParam) {
  auto* dialog = reinterpret_cast<Dialog*>(self);
  if (message == WM_INITDIALOG) dialog->hwnd_ = hwnd;
  return dialog->dispatch(message, wParam, lParam);
}

INT_PTR Dialog::withResult(bool handled, LRESULT result) {
  if (!handled) return 0;
  platform_.dialogs.setWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
  return 1;
}

INT_PTR Dialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return onInitDialog() ? 1 : 0;
    case WM_COMMAND:
      return onCommand(static_cast<int>(wParam & 0xFFFF),
                       static_cast<UINT>((wParam >> 16) & 0xFFFF))
                 ? 1
                 : 0;
    case WM_CLOSE:
      return onClose() ? 1 : 0;
    case WM_SYSCOMMAND:
      return onSysCommand(wParam) ? 1 : 0;
    case WM_CTLCOLORSTATIC:
      return static_cast<INT_PTR>(onCtlColor(static_cast<HDC>(wParam),
                                             static_cast<HWND>(lParam)));
    case WM_PAINT:
      return onPaint() ? 1 : 0;
    case WM_QUERYDRAGICON:
      return static_cast<INT_PTR>(onQueryDragIcon());
    case WM_DEVICECHANGE: {
      LRESULT result = 1;
      bool handled = onDeviceChange(wParam, lParam, &result);
      return withResult(handled, result);
    }
    case WM_QUERYENDSESSION: {
      LRESULT result = 1;
      bool handled = onQueryEndSession(&result);
      return withResult(handled, result);
    }
    default:
      return 0;
  }
}

}  // namespace framework
