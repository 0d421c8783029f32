#include "sandbox.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace simkit {

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}
}  // namespace

Sandbox::Sandbox() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/norbix-pc.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

Sandbox::~Sandbox() {
  if (!path_.empty()) ::nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace simkit
