// norbix-sim: runs the updater on the simulated PC and prints what a user
// would see, one transcript line per event.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

#include "sim/transcript.h"
#include "simkit/scenario.h"

namespace {

int usage(const char* message) {
  std::fprintf(stderr,
               "norbix-sim: %s\n"
               "usage: norbix-sim [--os 98|me|2000|xp|xp64] [--lang en|ja] [--folder DIR]\n"
               "                  [--answer WHAT=BUTTON]... [--user ACTION@SECONDS]...\n"
               "                  [--second-instance] [--dump-state] [--time-limit SECONDS]\n",
               message);
  return 2;
}

bool parseOs(const std::string& text, sim::WindowsVersion* os) {
  struct Name {
    const char* text;
    sim::WindowsVersion os;
  };
  static constexpr Name kNames[] = {
      {"98", sim::WindowsVersion::Win98},      {"me", sim::WindowsVersion::WinMe},
      {"2000", sim::WindowsVersion::Win2000},  {"xp", sim::WindowsVersion::WinXP},
      {"xp64", sim::WindowsVersion::WinXP64},
  };
  for (const Name& n : kNames) {
    if (text == n.text) {
      *os = n.os;
      return true;
    }
  }
  return false;
}

bool parseSeconds(const std::string& text, sim::Millis* ms) {
  if (text.empty()) return false;
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(seconds >= 0) || seconds > 1e9) return false;
  *ms = static_cast<sim::Millis>(seconds * 1000 + 0.5);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  simkit::ScenarioOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--os") {
      if (!value(&v) || !parseOs(v, &options.os)) return usage("bad --os");
    } else if (arg == "--lang") {
      if (!value(&v) || (v != "en" && v != "ja")) return usage("bad --lang");
      options.japanese = v == "ja";
    } else if (arg == "--folder") {
      if (!value(&v)) return usage("--folder needs a folder");
      options.folder = v;
    } else if (arg == "--answer") {
      std::size_t eq;
      if (!value(&v) || (eq = v.find('=')) == std::string::npos || eq == 0 ||
          eq + 1 == v.size()) {
        return usage("--answer takes WHAT=BUTTON");
      }
      options.answers[v.substr(0, eq)] = v.substr(eq + 1);
    } else if (arg == "--user") {
      std::size_t at;
      sim::Millis ms;
      if (!value(&v) || (at = v.rfind('@')) == std::string::npos || at == 0 ||
          !parseSeconds(v.substr(at + 1), &ms)) {
        return usage("--user takes ACTION@SECONDS");
      }
      options.actions.emplace_back(ms, v.substr(0, at));
    } else if (arg == "--second-instance") {
      options.secondInstance = true;
    } else if (arg == "--dump-state") {
      options.dumpState = true;
    } else if (arg == "--time-limit") {
      if (!value(&v) || !parseSeconds(v, &options.timeLimit)) return usage("bad --time-limit");
    } else {
      return usage(("unknown option " + arg).c_str());
    }
  }
  // Timed actions run in the order of their times; equal times keep the
  // order given.
  std::stable_sort(options.actions.begin(), options.actions.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  simkit::Scenario scenario(std::move(options));
  scenario.pc().transcript().echo = [](const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  };
  simkit::Outcome outcome = scenario.run();
  std::fflush(stdout);
  return outcome == simkit::Outcome::Ended ? 0 : 3;
}
