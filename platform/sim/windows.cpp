#include "windows.h"

#include <algorithm>

#include "pc.h"
#include "process.h"
#include "transcript.h"

namespace sim {

void WindowStack::close(SimWindow* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window),
                 windows_.end());
}

void WindowStack::closeAllOf(const Process& process) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                [&process](SimWindow* w) {
                                  return &w->owner() == &process;
                                }),
                 windows_.end());
}

std::optional<Millis> ScriptedUser::scriptedAnswerTime(SimWindow* window) const {
  if (window == nullptr) return std::nullopt;
  std::string key = window->answerKey();
  if (key.empty()) return std::nullopt;
  return window->openedAt + script_.reactionTime;
}

std::optional<Millis> ScriptedUser::nextEventTime(Millis now) {
  // The next timed action and what the frontmost window is due, whichever
  // comes first: a pending action does not hold back the answers.
  std::optional<Millis> action;
  if (nextAction_ < script_.actions.size()) action = script_.actions[nextAction_].first;
  std::optional<Millis> window = windowEventTime(now);
  if (action && window) return std::min(*action, *window);
  return action ? action : window;
}

std::optional<Millis> ScriptedUser::windowEventTime(Millis now) {
  SimWindow* front = pc_.windows().front();
  if (front == nullptr) return std::nullopt;
  if (front->serial == lastActed_) {
    return std::max({now, lastActedAt_ + script_.idleTime,
                     pc_.transcript().lastLineTime() + script_.idleTime});
  }
  if (auto at = scriptedAnswerTime(front)) return *at;
  // Nothing scripted is due: after a stretch of silence the user presses
  // the default button, so a program whose threads only poll still ends.
  return std::max(now, pc_.transcript().lastLineTime() + script_.idleTime);
}

void ScriptedUser::fire(Millis now) {
  if (nextAction_ < script_.actions.size() &&
      script_.actions[nextAction_].first <= now) {
    const std::string& action = script_.actions[nextAction_++].second;
    SimWindow* front = pc_.windows().front();
    if (front == nullptr || !front->userAction(action)) {
      pc_.transcript().add(now, "", "note user " + action + " ignored");
    }
    return;
  }
  SimWindow* front = pc_.windows().front();
  if (front == nullptr) return;
  auto due = windowEventTime(now);
  if (!due || *due > now) return;
  bool again = front->serial == lastActed_;
  lastActed_ = front->serial;
  lastActedAt_ = now;
  if (!again && scriptedAnswerTime(front)) {
    auto it = script_.answers.find(front->answerKey());
    if (it != script_.answers.end() && front->answer(it->second)) return;
  }
  front->pressDefault();
}

}  // namespace sim
