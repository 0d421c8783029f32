// A temporary host folder that holds a simulated PC's drives, removed with
// everything in it when the object goes.
#pragma once

#include <string>

namespace simkit {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace simkit
