// A discrete-event scheduler with a virtual clock for the simulated PC.
//
// Every simulated program thread is a real std::thread, but a run token lets
// only one of them execute at a time. A thread gives the token back only at a
// blocking point (sleep, a wait for a condition, a modal loop, a message box),
// and the scheduler then picks the next thread in a fixed order: the earliest
// due time first, then the order in which threads blocked. When nothing can
// run, the clock jumps to the next timed event. The same scenario therefore
// runs the same way every time, and 40 s of sleeps cost microseconds.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

using Millis = std::uint64_t;

// Thrown at a blocking point of a thread whose process was ended (normal
// end of the process, or a power loss): none of the program's code runs
// again in that thread. Only the simulated backend throws it, and the
// thread's outermost frame catches it.
struct ThreadKilled {};

// Something that wants to act at a virtual time: the scripted user, a reader
// finishing its enumeration. Asked only while the caller holds the token.
class EventSource {
 public:
  virtual ~EventSource() = default;
  virtual std::optional<Millis> nextEventTime(Millis now) = 0;
  virtual void fire(Millis now) = 0;
};

enum class RunEnd { Finished, Stuck, TimeLimit };

class Scheduler {
 public:
  using ThreadId = int;
  using Predicate = std::function<bool()>;

  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  Millis now() const { return now_; }

  // Creates a thread that runs `body` once it is started (at once unless
  // `suspended`). May be called from the controller or from a sim thread.
  ThreadId spawn(std::string name, std::function<void()> body,
                 bool suspended);
  void start(ThreadId id);  // resumes a suspended thread
  bool finished(ThreadId id) const;

  // Blocking points, called by the running sim thread only.
  void sleepFor(Millis duration);
  // Waits until `ready()` holds or, with a timeout, until it passes; returns
  // whether `ready()` held. The predicate is evaluated by the scheduler while
  // it holds the token, so it may read any simulated state.
  bool waitFor(const Predicate& ready, std::optional<Millis> timeout);
  // Gives other runnable threads a turn without advancing the clock.
  void yield();

  // Marks a thread to be ended at its next (or current) blocking point.
  void kill(ThreadId id);
  bool killed(ThreadId id) const;
  ThreadId current() const { return current_; }

  // Timers run on whichever thread holds the token, before threads due at
  // the same time; they must not block.
  void addTimer(Millis at, std::function<void()> action);
  void addEventSource(EventSource* source);

  // Runs until every thread has ended, nothing can ever run again (stuck),
  // or the clock would pass `limit`. Called from the controller thread.
  RunEnd run(Millis limit);

  // For stuck reports: the names of threads still waiting.
  std::vector<std::string> waitingThreads() const;

 private:
  struct Thread;
  struct Timer {
    Millis at;
    std::uint64_t seq;
    std::function<void()> action;
  };

  void threadMain(Thread* self);
  void block(std::unique_lock<std::mutex>& lock, Thread* self);
  void handOver(std::unique_lock<std::mutex>& lock);
  Thread* pickRunnable();
  bool runDueEvents();
  std::optional<Millis> nextEventTime();
  Thread* self() const;
  void checkKilled(Thread* t) const;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::unique_ptr<Thread>> threads_;
  std::vector<Timer> timers_;
  std::vector<EventSource*> sources_;
  Millis now_ = 0;
  Millis limit_ = 0;
  std::uint64_t seq_ = 0;
  ThreadId current_ = -1;  // -1: the controller holds the token
  bool controllerWake_ = false;
  std::optional<RunEnd> end_;
};

}  // namespace sim
