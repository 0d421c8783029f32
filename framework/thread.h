// The framework's worker-thread start: a thread created suspended at the
// given priority, resumed at once unless the caller asks to fill in its
// parameter block first. Nobody waits for these threads.
#pragma once

#include "platform/kernel.h"

namespace framework {

struct WorkerThread {
  platform::Handle handle = 0;
  platform::DWORD id = 0;
};

// Returns a thread with handle 0 when it could not be created.
WorkerThread beginThread(platform::Kernel& kernel, platform::ThreadProc proc,
                         void* param, int priority, bool suspended);
bool resumeThread(platform::Kernel& kernel, const WorkerThread& thread);

}  // namespace framework
