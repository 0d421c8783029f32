// Helpers for the scenario tests: update files by name, the transcript as
// events without times, and searches in it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "simkit/scenario.h"
#include "testkit/update_file_maker.h"

namespace scenariotest {

inline std::string updateFile(const std::string& version = "2.05", bool hasVersion = true) {
  norbix::testkit::UpdateFileOptions options;
  options.versionText = version;
  options.hasVersion = hasVersion;
  auto bytes = norbix::testkit::makeUpdateFile(options);
  return std::string(bytes.begin(), bytes.end());
}

inline std::string corruptUpdateFile() {
  std::string file = updateFile();
  file[0x2000] ^= 0x5A;  // the CRC no longer matches
  return file;
}

// "<ms> [TAG ]EVENT" -> "[TAG ]EVENT"
inline std::vector<std::string> events(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(line.substr(line.find(' ') + 1));
  return out;
}

inline bool has(const std::vector<std::string>& lines, const std::string& event) {
  for (const std::string& e : events(lines)) {
    if (e == event) return true;
  }
  return false;
}

inline bool hasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& e : events(lines)) {
    if (e.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Index of the first event equal to `event`, or -1.
inline int indexOf(const std::vector<std::string>& lines, const std::string& event) {
  auto all = events(lines);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == event) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace scenariotest
