// The shell's program start (ShellExecuteA), by which the updater starts its
// companion programs and command files without waiting for them.
#pragma once

#include "platform/types.h"

namespace platform {

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

class Shell {
 public:
  virtual ~Shell() = default;

  // Returns a value above 32 on success, as ShellExecuteA does.
  virtual std::intptr_t shellExecuteA(HWND owner, const char* verb,
                                      const char* file, const char* parameters,
                                      const char* directory, int show) = 0;
};

}  // namespace platform
