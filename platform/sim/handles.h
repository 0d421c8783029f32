// A simulated process's handle table: every kernel object a program holds
// (file, device channel, mutex, thread, process, search, token) sits behind
// one handle value, so closeHandle works on all of them as on Windows.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/types.h"

namespace sim {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

class HandleTable {
 public:
  // Handle values are small multiples of 4, the same in every run.
  platform::Handle add(std::shared_ptr<KernelObject> object) {
    platform::Handle h = next_;
    next_ += 4;
    objects_[h] = std::move(object);
    return h;
  }

  template <class T>
  std::shared_ptr<T> get(platform::Handle h) const {
    auto it = objects_.find(h);
    if (it == objects_.end()) return nullptr;
    return std::dynamic_pointer_cast<T>(it->second);
  }

  bool remove(platform::Handle h) { return objects_.erase(h) != 0; }

  // Drops every handle (the process ended), last holder first to go.
  void clear() {
    while (!objects_.empty()) objects_.erase(std::prev(objects_.end()));
  }

 private:
  std::map<platform::Handle, std::shared_ptr<KernelObject>> objects_;
  platform::Handle next_ = 0x100;
};

}  // namespace sim
