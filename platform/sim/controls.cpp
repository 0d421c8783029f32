#include "controls.h"

#include <algorithm>

#include "process.h"

namespace sim {

using namespace platform;

void ProgressControl::moveTo(int position) {
  position = std::clamp(position, low_, high_);
  if (position == position_) return;
  position_ = position;
  owner_.log("progress " + std::to_string(position));
}

LRESULT ProgressControl::send(UINT message, WPARAM wParam, LPARAM lParam) {
  int previous = position_;
  switch (message) {
    case PBM_SETPOS:
      moveTo(static_cast<int>(wParam));
      return previous;
    case PBM_DELTAPOS:
      moveTo(position_ + static_cast<int>(wParam));
      return previous;
    case PBM_STEPIT:
      moveTo(position_ + step_);
      return previous;
    case PBM_SETSTEP: {
      int old = step_;
      step_ = static_cast<int>(wParam);
      return old;
    }
    case PBM_SETRANGE: {
      LRESULT old = (high_ << 16) | (low_ & 0xFFFF);
      low_ = static_cast<int>(lParam & 0xFFFF);
      high_ = static_cast<int>((lParam >> 16) & 0xFFFF);
      return old;
    }
    case PBM_GETPOS:
      return position_;
    default:
      return 0;
  }
}

}  // namespace sim
