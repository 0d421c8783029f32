// What a person in front of the simulated PC notices, one line per event:
// "<virtual ms> [<process tag> ]<event>". Program texts arrive in the
// program's code page and are written as escaped UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

class Transcript {
 public:
  void add(std::uint64_t time, const std::string& tag,
           const std::string& event);
  const std::vector<std::string>& lines() const { return lines_; }
  std::uint64_t lastLineTime() const { return lastTime_; }
  // Called for every new line (the scenario runner prints as it goes).
  std::function<void(const std::string&)> echo;

 private:
  std::vector<std::string> lines_;
  std::uint64_t lastTime_ = 0;
};

// Converts program text in `codePage` (1252 or 932) to UTF-8 and escapes it
// for a transcript line: backslash, double quote, CR, LF and tab as \\, \",
// \r, \n, \t; other bytes below 0x20 and bytes that cannot be converted as
// \xHH.
std::string escapeText(const std::string& text, unsigned codePage);
// The reverse direction for program resources: UTF-8 to the code page, with
// characters the code page lacks replaced by '?', as Windows does.
std::string fromUtf8(const std::string& utf8, unsigned codePage);

}  // namespace sim
