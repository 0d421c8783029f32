// Top-level windows on the simulated screen (message boxes, dialogs), front
// to back, and the scripted user who answers them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scheduler.h"

namespace sim {

class Process;
class SimPc;

class SimWindow {
 public:
  explicit SimWindow(Process& owner) : owner_(owner) {}
  virtual ~SimWindow() = default;
  Process& owner() const { return owner_; }

  // The --answer key that scripts this window ("box", "attention", ...);
  // empty when only the idle rule and timed actions act on it.
  virtual std::string answerKey() const = 0;
  // Acts as the user choosing `answer` ("ok", "cancel", "yes", "no", or a
  // window's own words); false when the window has no such choice.
  virtual bool answer(const std::string& answer) = 0;
  // Presses the default button (or what Enter would do).
  virtual void pressDefault() = 0;
  // A timed user action ("start", "end", "escape", "close", "about");
  // false when it cannot be done now (the control is absent or disabled).
  virtual bool userAction(const std::string& /*action*/) { return false; }

  Millis openedAt = 0;
  std::uint64_t serial = 0;  // set when opened, unique on the PC

 private:
  Process& owner_;
};

class WindowStack {
 public:
  void open(SimWindow* window) {
    window->serial = ++serial_;
    windows_.push_back(window);
  }
  void close(SimWindow* window);
  SimWindow* front() const {
    return windows_.empty() ? nullptr : windows_.back();
  }
  void closeAllOf(const Process& process);
  bool empty() const { return windows_.empty(); }

 private:
  std::vector<SimWindow*> windows_;  // back is frontmost
  std::uint64_t serial_ = 0;
};

struct UserScript {
  // Answers by window key ("box" -> "cancel").
  std::map<std::string, std::string> answers;
  // Actions at virtual times (ms), in the order given.
  std::vector<std::pair<Millis, std::string>> actions;
  Millis reactionTime = 1000;  // from a scripted window's opening to the answer
  Millis idleTime = 10000;     // silence before the default button is pressed
};

class ScriptedUser : public EventSource {
 public:
  explicit ScriptedUser(SimPc& pc) : pc_(pc) {}
  UserScript& script() { return script_; }

  std::optional<Millis> nextEventTime(Millis now) override;
  void fire(Millis now) override;

 private:
  std::optional<Millis> scriptedAnswerTime(SimWindow* window) const;
  std::optional<Millis> windowEventTime(Millis now);
  SimPc& pc_;
  UserScript script_;
  std::size_t nextAction_ = 0;
  // A window that stayed open after the user acted on it is not acted on
  // again until another idle stretch has passed (no busy loop on it).
  std::uint64_t lastActed_ = 0;
  Millis lastActedAt_ = 0;
};

}  // namespace sim
