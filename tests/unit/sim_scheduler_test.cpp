// The deterministic scheduler: one thread at a time, a virtual clock, the
// same order every run, and stuck and runaway runs reported as such.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/scheduler.h"

namespace {

using sim::Millis;
using sim::RunEnd;
using sim::Scheduler;

// Three threads polling at different periods, as the updater's threads do;
// the log says who ran when.
std::vector<std::string> pollingRun(RunEnd* end) {
  std::vector<std::string> log;
  Scheduler s;
  auto poller = [&s, &log](const char* name, Millis period, int rounds) {
    return [&s, &log, name, period, rounds] {
      for (int i = 0; i < rounds; ++i) {
        log.push_back(std::to_string(s.now()) + " " + name);
        s.sleepFor(period);
      }
    };
  };
  s.spawn("ui", poller("ui", 200, 6), false);
  s.spawn("watch", poller("watch", 300, 4), false);
  s.spawn("worker", poller("worker", 1000, 2), false);
  *end = s.run(60000);
  return log;
}

TEST(SimScheduler, SameRunTwiceGivesTheSameOrder) {
  RunEnd first, second;
  auto a = pollingRun(&first);
  auto b = pollingRun(&second);
  EXPECT_EQ(first, RunEnd::Finished);
  EXPECT_EQ(second, RunEnd::Finished);
  EXPECT_EQ(a, b);
  // Due times first, then the order the threads blocked in.
  std::vector<std::string> expected = {
      "0 ui",      "0 watch",  "0 worker", "200 ui",  "300 watch", "400 ui",
      "600 watch", "600 ui",   "800 ui",   "900 watch", "1000 worker", "1000 ui",
  };
  EXPECT_EQ(a, expected);
}

TEST(SimScheduler, SleepsAdvanceOnlyTheVirtualClock) {
  Scheduler s;
  Millis seen = 0;
  s.spawn("sleeper", [&] {
    for (int i = 0; i < 200; ++i) s.sleepFor(200);  // 40 s of sleeps
    seen = s.now();
  }, false);
  EXPECT_EQ(s.run(3600 * 1000), RunEnd::Finished);
  EXPECT_EQ(seen, 40000u);
}

TEST(SimScheduler, WaitOnSomethingThatNeverChangesIsStuck) {
  Scheduler s;
  bool flag = false;
  s.spawn("waiter", [&] { s.waitFor([&] { return flag; }, std::nullopt); }, false);
  EXPECT_EQ(s.run(3600 * 1000), RunEnd::Stuck);
  EXPECT_EQ(s.waitingThreads(), std::vector<std::string>{"waiter"});
  // Something outside changes the state: the run goes on and ends.
  flag = true;
  EXPECT_EQ(s.run(3600 * 1000), RunEnd::Finished);
}

TEST(SimScheduler, EndlessPollingStopsAtTheTimeLimit) {
  Scheduler s;
  bool stop = false;
  s.spawn("poller", [&] {
    while (!stop) s.sleepFor(200);
  }, false);
  EXPECT_EQ(s.run(10000), RunEnd::TimeLimit);
  EXPECT_LE(s.now(), 10000u);
  stop = true;  // lets the destructor end the thread cleanly
}

TEST(SimScheduler, WaitWakesOnConditionOrTimeout) {
  Scheduler s;
  bool ready = false;
  std::vector<std::string> log;
  s.spawn("waiter", [&] {
    bool first = s.waitFor([&] { return ready; }, 5000);
    log.push_back(std::to_string(s.now()) + (first ? " woke" : " timeout"));
    bool second = s.waitFor([&] { return false; }, 700);
    log.push_back(std::to_string(s.now()) + (second ? " woke" : " timeout"));
  }, false);
  s.spawn("setter", [&] {
    s.sleepFor(1200);
    ready = true;
  }, false);
  EXPECT_EQ(s.run(60000), RunEnd::Finished);
  EXPECT_EQ(log, (std::vector<std::string>{"1200 woke", "1900 timeout"}));
}

TEST(SimScheduler, TimersRunBeforeThreadsDueAtTheSameTime) {
  Scheduler s;
  std::vector<std::string> log;
  s.addTimer(500, [&] { log.push_back("timer " + std::to_string(s.now())); });
  s.spawn("t", [&] {
    s.sleepFor(500);
    log.push_back("thread " + std::to_string(s.now()));
  }, false);
  EXPECT_EQ(s.run(60000), RunEnd::Finished);
  EXPECT_EQ(log, (std::vector<std::string>{"timer 500", "thread 500"}));
}

TEST(SimScheduler, KilledThreadRunsNoMoreCode) {
  Scheduler s;
  int after = 0;
  bool unwound = false;
  struct Guard {
    bool* flag;
    ~Guard() { *flag = true; }
  };
  auto victim = s.spawn("victim", [&] {
    Guard guard{&unwound};
    s.sleepFor(1000);
    ++after;
  }, false);
  s.spawn("killer", [&] {
    s.sleepFor(500);
    s.kill(victim);
  }, false);
  EXPECT_EQ(s.run(60000), RunEnd::Finished);
  EXPECT_EQ(after, 0);
  EXPECT_TRUE(unwound);
}

TEST(SimScheduler, SuspendedThreadStartsOnlyWhenResumed) {
  Scheduler s;
  std::vector<std::string> log;
  auto worker = s.spawn("worker", [&] { log.push_back("worker " + std::to_string(s.now())); }, true);
  s.spawn("ui", [&] {
    s.sleepFor(300);
    log.push_back("resume");
    s.start(worker);
  }, false);
  EXPECT_EQ(s.run(60000), RunEnd::Finished);
  EXPECT_EQ(log, (std::vector<std::string>{"resume", "worker 300"}));
}

}  // namespace
