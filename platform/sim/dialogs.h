// platform::Dialogs for one simulated process: a model of each dialog built
// from the program's template rows (controls, texts, visibility, enabled
// state, focus), a message queue per thread, and delivery of messages to the
// program's dialog procedure on the thread that runs the dialog.
//
// What a person would notice goes to the transcript: "dialog ID open",
// "dialog ID end RESULT", "text ID.CONTROL \"T\"", "show ID.CONTROL 0|1",
// "enable ID.CONTROL 0|1", "focus ID.CONTROL" and the progress bar's
// "progress POS", each only when a value changes from what the control
// held; a template's initial state writes nothing.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dialog_resource.h"
#include "platform/dialogs.h"
#include "scheduler.h"

namespace sim {

class Process;
class DialogWindow;

// A control as the scripted user and the tests see it.
struct ControlState {
  ControlKind kind;
  int id;
  std::string text;  // in the PC's code page
  bool visible;
  bool enabled;
  // Colours of the control's last drawing (WM_CTLCOLORSTATIC answer).
  bool drawn = false;
  int bkMode = platform::OPAQUE;
  platform::COLORREF textColor = 0;
};

class SimDialogs : public platform::Dialogs {
 public:
  explicit SimDialogs(Process& process);
  ~SimDialogs() override;

  platform::INT_PTR dialogBoxParamA(platform::UINT templateId,
                                    platform::HWND owner,
                                    platform::DialogProc proc,
                                    platform::LPARAM param) override;
  platform::BOOL endDialog(platform::HWND dialog,
                           platform::INT_PTR result) override;
  platform::HWND getDlgItem(platform::HWND dialog, int id) override;
  platform::BOOL setWindowTextA(platform::HWND window,
                                const char* text) override;
  int getWindowTextA(platform::HWND window, char* buffer,
                     int bufferSize) override;
  platform::BOOL showWindow(platform::HWND window, int command) override;
  platform::BOOL isWindowVisible(platform::HWND window) override;
  platform::BOOL enableWindow(platform::HWND window,
                              platform::BOOL enable) override;
  platform::BOOL isWindowEnabled(platform::HWND window) override;
  platform::HWND setFocus(platform::HWND window) override;
  platform::BOOL isIconic(platform::HWND window) override;
  platform::BOOL getClientRect(platform::HWND window,
                               platform::RECT* rect) override;
  platform::LONG_PTR setWindowLongPtrA(platform::HWND window, int index,
                                       platform::LONG_PTR value) override;
  platform::LONG_PTR getWindowLongPtrA(platform::HWND window,
                                       int index) override;
  platform::BOOL peekMessageA(platform::MSG* message, platform::HWND window,
                              platform::UINT first, platform::UINT last,
                              platform::UINT remove) override;
  platform::HMENU getSystemMenu(platform::HWND window,
                                platform::BOOL revert) override;
  platform::BOOL appendMenuA(platform::HMENU menu, platform::UINT flags,
                             platform::UINT_PTR id, const char* text) override;
  platform::HICON loadIconA(platform::UINT id) override;
  int getSystemMetrics(int index) override;
  platform::HDC beginPaint(platform::HWND window) override;
  void endPaint(platform::HWND window, platform::HDC dc) override;
  platform::BOOL drawIcon(platform::HDC dc, int x, int y,
                          platform::HICON icon) override;
  int setBkMode(platform::HDC dc, int mode) override;
  platform::COLORREF setTextColor(platform::HDC dc,
                                  platform::COLORREF color) override;
  platform::HBRUSH getSysColorBrush(int index) override;
  platform::HDEVNOTIFY registerDeviceNotificationA(
      platform::HWND recipient, const void* filter,
      platform::DWORD flags) override;
  platform::BOOL getOpenFileNameA(platform::OpenFileNameA* request) override;

  // Windows sends DBT_DEVNODES_CHANGED to every top-level window; the
  // simulated PC hands each device-tree change to every process here. The
  // message is queued for the dialog's thread.
  void deviceChange(platform::WPARAM event, platform::LPARAM data);
  // The dialog of `templateId` that is open now, or null.
  const DialogWindow* openDialog(platform::UINT templateId) const;
  // A control of an open dialog, or null.
  const ControlState* control(platform::UINT templateId, int id) const;
  // Minimises an open dialog and has it repaint (the close-to-icon case).
  bool minimise(platform::UINT templateId);
  // Device-notification filters registered so far (class GUID Data1).
  const std::vector<platform::DWORD>& registeredClasses() const {
    return registeredClasses_;
  }

  // Used by the dialog models.
  Process& process() { return process_; }
  struct Queued {
    platform::HWND window;
    platform::UINT message;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
    // A message sent from another thread: its sender waits for the result.
    std::shared_ptr<platform::LRESULT> sentResult;
    std::shared_ptr<bool> sentDone;
  };
  void enqueue(Scheduler::ThreadId thread, Queued message);
  std::deque<Queued>& queueOf(Scheduler::ThreadId thread) {
    return queues_[thread];
  }
  DialogWindow* dialogOf(platform::HWND window) const;
  void dropMessagesFor(platform::HWND window, Scheduler::ThreadId thread);

 private:
  struct Dc {
    platform::HWND window;
    int bkMode;
    platform::COLORREF textColor;
  };
  struct FoundControl;
  FoundControl find(platform::HWND window) const;
  const DialogResource* templateOf(platform::UINT id) const;
  platform::INT_PTR runModal(DialogWindow& dialog);
  void dispatchNext(DialogWindow& running, bool* quit);
  void broadcast(platform::UINT event, const std::string& deviceInterface);

  Process& process_;
  std::map<Scheduler::ThreadId, std::deque<Queued>> queues_;
  std::vector<DialogWindow*> open_;  // in the order they opened
  std::map<platform::HDC, Dc> dcs_;
  platform::HDC nextDc_ = 0x7000;
  std::vector<platform::DWORD> registeredClasses_;
  std::vector<platform::HWND> recipients_;
  // Notification data stays valid until the process ends: the messages
  // that point at it wait in the queues.
  std::deque<std::vector<char>> broadcastData_;
  platform::HDEVNOTIFY nextNotify_ = 0x9000;
};

}  // namespace sim
