// The dialog class of the framework: a template id, a modal run, controls by
// id and one virtual handler per message the programs handle. The same
// dialog code runs on the real and on the simulated backend.
#pragma once

#include <string>

#include "platform/platform.h"

namespace framework {

// A control of an open dialog, by handle. Calls on a control whose dialog
// has ended fail quietly, as they do on Windows.
class Control {
 public:
  Control() = default;
  Control(platform::Platform& platform, platform::HWND hwnd)
      : platform_(&platform), hwnd_(hwnd) {}

  platform::HWND hwnd() const { return hwnd_; }
  void setText(const std::string& text);
  std::string text() const;
  void show(bool visible);
  void enable(bool enabled);
  void focus();
  platform::LRESULT send(platform::UINT message, platform::WPARAM wParam = 0,
                         platform::LPARAM lParam = 0);

 private:
  platform::Platform* platform_ = nullptr;
  platform::HWND hwnd_ = 0;
};

class Dialog {
 public:
  Dialog(platform::Platform& platform, platform::UINT templateId,
         platform::HWND owner = 0);
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns what ended it (-1: no template).
  platform::INT_PTR runModal();
  void endDialog(platform::INT_PTR result);

  platform::HWND hwnd() const { return hwnd_; }
  platform::UINT templateId() const { return templateId_; }
  Control item(int id);
  // A message box owned by this dialog.
  int messageBox(const std::string& text, const std::string& caption,
                 platform::UINT type);
  platform::Platform& platform() { return platform_; }

 protected:
  // Each handler returns whether it handled the message; false gives the
  // default handling.
  virtual bool onInitDialog() { return true; }  // true: default focus
  virtual void onOK() { endDialog(platform::IDOK); }
  virtual void onCancel() { endDialog(platform::IDCANCEL); }
  // Button clicks and the Enter and Escape keys; by default IDOK and
  // IDCANCEL go to onOK and onCancel.
  virtual bool onCommand(int id, platform::UINT code);
  // The default handling of WM_CLOSE is a Cancel.
  virtual bool onClose() { return false; }
  // The default handling turns SC_CLOSE into WM_CLOSE.
  virtual bool onSysCommand(platform::WPARAM /*command*/) { return false; }
  // A brush for the control's background, or 0 for the default colours.
  virtual platform::HBRUSH onCtlColor(platform::HDC /*dc*/,
                                      platform::HWND /*control*/) {
    return 0;
  }
  virtual bool onPaint() { return false; }
  virtual platform::HICON onQueryDragIcon() { return 0; }
  // Handlers with a message result put it in *result.
  virtual bool onDeviceChange(platform::WPARAM /*event*/,
                              platform::LPARAM /*data*/,
                              platform::LRESULT* /*result*/) {
    return false;
  }
  virtual bool onQueryEndSession(platform::LRESULT* /*result*/) {
    return false;
  }

  // What the default window procedure answers to WM_QUERYENDSESSION.
  static bool defaultQueryEndSession() { return true; }

 private:
  static platform::INT_PTR trampoline(platform::LPARAM self, platform::HWND hwnd,
                                      platform::UINT message,
                                      platform::WPARAM wParam,
                                      platform::LPARAM lParam);
  platform::INT_PTR dispatch(platform::UINT message, platform::WPARAM wParam,
                             platform::LPARAM lParam);
  platform::INT_PTR withResult(bool handled, platform::LRESULT result);

  platform::Platform& platform_;
  platform::UINT templateId_;
  platform::HWND owner_;
  platform::HWND hwnd_ = 0;
};

}  // namespace framework
