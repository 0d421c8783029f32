// Windows and controls of the simulated PC that messages can reach by
// handle. Dialogs register their controls here; tests can put a bare
// progress bar here to watch a block transfer move it.
#pragma once

#include <map>

#include "platform/ui.h"

namespace sim {

class Process;

class SimControl {
 public:
  virtual ~SimControl() = default;
  // SendMessageA: handled at once, on the caller's thread.
  virtual platform::LRESULT send(platform::UINT message, platform::WPARAM wParam,
                                 platform::LPARAM lParam) = 0;
  // PostMessageA: a window with a message queue queues it; a bare control
  // has no queue of its own and handles it at once.
  virtual platform::BOOL post(platform::UINT message, platform::WPARAM wParam,
                              platform::LPARAM lParam) {
    send(message, wParam, lParam);
    return 1;
  }
};

class ControlTable {
 public:
  platform::HWND add(SimControl* control) {
    platform::HWND h = next_;
    next_ += 4;
    controls_[h] = control;
    return h;
  }
  void remove(platform::HWND h) { controls_.erase(h); }
  SimControl* find(platform::HWND h) const {
    auto it = controls_.find(h);
    return it == controls_.end() ? nullptr : it->second;
  }

 private:
  std::map<platform::HWND, SimControl*> controls_;
  platform::HWND next_ = 0x10010;
};

// A progress bar (range 0 to 100 unless set): every change of its position
// shows in the transcript as "progress POS".
class ProgressControl : public SimControl {
 public:
  explicit ProgressControl(Process& owner) : owner_(owner) {}
  platform::LRESULT send(platform::UINT message, platform::WPARAM wParam,
                         platform::LPARAM lParam) override;
  int position() const { return position_; }
  // Sets the position without a transcript line (a template's initial state).
  void initialise(int position) { position_ = position; }

 private:
  void moveTo(int position);
  Process& owner_;
  int position_ = 0;
  int low_ = 0;
  int high_ = 100;
  int step_ = 10;
};

}  // namespace sim
