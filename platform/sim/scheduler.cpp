#include "scheduler.h"

#include <algorithm>
#include <exception>
#include <tuple>

namespace sim {

namespace {
enum class State { Suspended, Ready, Blocked, Running, Done };
}

struct Scheduler::Thread {
  ThreadId id = 0;
  std::string name;
  std::function<void()> body;
  std::thread host;
  State state = State::Suspended;
  Predicate ready;                  // empty: wake on deadline only
  std::optional<Millis> deadline;   // empty: wait on the predicate only
  Millis readyAt = 0;
  std::uint64_t seq = 0;
  bool go = false;  // holds the run token
  bool killed = false;
  bool woke = false;  // result of the last waitFor
};

namespace {
thread_local Scheduler::ThreadId tlsThread = -1;
thread_local const Scheduler* tlsScheduler = nullptr;
}  // namespace

Scheduler::Scheduler() = default;

Scheduler::~Scheduler() {
  // Unwind every thread that is still waiting: each wakes at its blocking
  // point with ThreadKilled and runs no more program code.
  std::size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = threads_.size();
  }
  for (std::size_t i = 0; i < count; ++i) kill(static_cast<ThreadId>(i));
  for (;;) {
    bool pending = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto& t : threads_) pending = pending || t->state != State::Done;
    }
    if (!pending) break;
    run(~Millis{0});
  }
  for (auto& t : threads_) {
    if (t->host.joinable()) t->host.join();
  }
}

Scheduler::Thread* Scheduler::self() const {
  if (tlsScheduler != this || tlsThread < 0) return nullptr;
  return threads_[static_cast<std::size_t>(tlsThread)].get();
}

Scheduler::ThreadId Scheduler::spawn(std::string name,
                                     std::function<void()> body,
                                     bool suspended) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto t = std::make_unique<Thread>();
  t->id = static_cast<ThreadId>(threads_.size());
  t->name = std::move(name);
  t->body = std::move(body);
  t->state = suspended ? State::Suspended : State::Ready;
  t->readyAt = now_;
  t->seq = ++seq_;
  Thread* raw = t.get();
  threads_.push_back(std::move(t));
  raw->host = std::thread([this, raw] { threadMain(raw); });
  return raw->id;
}

void Scheduler::start(ThreadId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Thread* t = threads_.at(static_cast<std::size_t>(id)).get();
  if (t->state != State::Suspended) return;
  t->state = State::Ready;
  t->readyAt = now_;
  t->seq = ++seq_;
}

bool Scheduler::finished(ThreadId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_.at(static_cast<std::size_t>(id))->state == State::Done;
}

void Scheduler::kill(ThreadId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Thread* t = threads_.at(static_cast<std::size_t>(id)).get();
  if (t->state == State::Done) return;
  t->killed = true;
  if (t->state == State::Suspended) {
    // Never started: let it run just far enough to end.
    t->state = State::Ready;
    t->readyAt = now_;
    t->seq = ++seq_;
  }
}

bool Scheduler::killed(ThreadId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_.at(static_cast<std::size_t>(id))->killed;
}

void Scheduler::checkKilled(Thread* t) const {
  // A blocking point reached while a killed thread unwinds (a destructor
  // that sleeps) must not throw again.
  if (t->killed && std::uncaught_exceptions() == 0) throw ThreadKilled{};
}

void Scheduler::threadMain(Thread* t) {
  tlsThread = t->id;
  tlsScheduler = this;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [t] { return t->go; });
  }
  if (!t->killed) {
    try {
      t->body();
    } catch (const ThreadKilled&) {
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  t->state = State::Done;
  t->go = false;
  t->body = nullptr;
  handOver(lock);
}

void Scheduler::block(std::unique_lock<std::mutex>& lock, Thread* t) {
  t->state = State::Blocked;
  t->seq = ++seq_;
  t->go = false;
  handOver(lock);
  wake_.wait(lock, [t] { return t->go; });
  t->state = State::Running;
}

void Scheduler::sleepFor(Millis duration) {
  Thread* t = self();
  if (t == nullptr) return;
  checkKilled(t);
  std::unique_lock<std::mutex> lock(mutex_);
  t->ready = nullptr;
  t->deadline = now_ + duration;
  block(lock, t);
  lock.unlock();
  checkKilled(t);
}

void Scheduler::yield() { sleepFor(0); }

bool Scheduler::waitFor(const Predicate& ready, std::optional<Millis> timeout) {
  Thread* t = self();
  if (t == nullptr) return ready();
  checkKilled(t);
  if (ready()) return true;
  if (timeout && *timeout == 0) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  t->ready = ready;
  t->deadline.reset();
  if (timeout) t->deadline = now_ + *timeout;
  block(lock, t);
  bool woke = t->woke;
  t->ready = nullptr;
  lock.unlock();
  checkKilled(t);
  return woke;
}

void Scheduler::addTimer(Millis at, std::function<void()> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.push_back(Timer{std::max(at, now_), ++seq_, std::move(action)});
}

void Scheduler::addEventSource(EventSource* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  sources_.push_back(source);
}

Scheduler::Thread* Scheduler::pickRunnable() {
  Thread* best = nullptr;
  auto key = [](const Thread* t, Millis time) {
    return std::make_tuple(t->killed ? 0 : 1, time, t->seq);
  };
  std::tuple<int, Millis, std::uint64_t> bestKey{};
  for (auto& up : threads_) {
    Thread* t = up.get();
    Millis due = 0;
    if (t->state == State::Ready) {
      due = t->readyAt;
    } else if (t->state == State::Blocked) {
      if (t->killed) {
        due = now_;
      } else if (t->ready && t->ready()) {
        t->woke = true;
        due = now_;
      } else if (t->deadline && *t->deadline <= now_) {
        t->woke = false;
        due = *t->deadline;
      } else {
        continue;
      }
    } else {
      continue;
    }
    auto k = key(t, due);
    if (best == nullptr || k < bestKey) {
      best = t;
      bestKey = k;
    }
  }
  return best;
}

bool Scheduler::runDueEvents() {
  // Earliest timer first; ties in the order they were added.
  auto due = std::min_element(timers_.begin(), timers_.end(),
                              [](const Timer& a, const Timer& b) {
                                return std::tie(a.at, a.seq) <
                                       std::tie(b.at, b.seq);
                              });
  if (due != timers_.end() && due->at <= now_) {
    std::function<void()> action = std::move(due->action);
    timers_.erase(due);
    action();
    return true;
  }
  for (EventSource* source : sources_) {
    auto at = source->nextEventTime(now_);
    if (at && *at <= now_) {
      source->fire(now_);
      return true;
    }
  }
  return false;
}

std::optional<Millis> Scheduler::nextEventTime() {
  std::optional<Millis> next;
  auto consider = [&next](Millis at) {
    if (!next || at < *next) next = at;
  };
  for (auto& t : threads_) {
    if (t->state == State::Blocked && t->deadline) consider(*t->deadline);
  }
  for (auto& timer : timers_) consider(timer.at);
  for (EventSource* source : sources_) {
    if (auto at = source->nextEventTime(now_)) consider(std::max(*at, now_));
  }
  return next;
}

void Scheduler::handOver(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    // Events act on simulated state only; the lock is released so that an
    // event may spawn threads or add timers. No other thread runs meanwhile:
    // none holds the token.
    lock.unlock();
    while (runDueEvents()) {
    }
    lock.lock();
    if (Thread* next = pickRunnable()) {
      current_ = next->id;
      next->go = true;
      wake_.notify_all();
      return;
    }
    bool alive = std::any_of(threads_.begin(), threads_.end(), [](auto& t) {
      return t->state == State::Ready || t->state == State::Blocked ||
             t->state == State::Running;
    });
    std::optional<RunEnd> end;
    std::optional<Millis> next;
    if (!alive) {
      end = RunEnd::Finished;
    } else {
      lock.unlock();
      next = nextEventTime();
      lock.lock();
      if (!next) end = RunEnd::Stuck;
      else if (*next > limit_) end = RunEnd::TimeLimit;
    }
    if (end) {
      end_ = end;
      current_ = -1;
      controllerWake_ = true;
      wake_.notify_all();
      return;
    }
    now_ = std::max(now_, *next);
  }
}

RunEnd Scheduler::run(Millis limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  limit_ = limit;
  end_.reset();
  controllerWake_ = false;
  handOver(lock);
  wake_.wait(lock, [this] { return controllerWake_; });
  return *end_;
}

std::vector<std::string> Scheduler::waitingThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (auto& t : threads_) {
    if (t->state == State::Blocked) names.push_back(t->name);
  }
  return names;
}

}  // namespace sim
