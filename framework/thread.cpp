#include "framework/thread.h"

namespace framework {

using namespace platform;

WorkerThread beginThread(Kernel& kernel, ThreadProc proc, void* param,
                         int priority, bool suspended) {
  WorkerThread thread;
  // Always created suspended so the priority holds before the first
  // instruction runs.
  thread.handle = kernel.createThread(proc, param, CREATE_SUSPENDED, &thread.id);
  if (thread.handle == 0 || thread.handle == INVALID_HANDLE_VALUE) return {};
  kernel.setThreadPriority(thread.handle, priority);
  if (!suspended) resumeThread(kernel, thread);
  return thread;
}

bool resumeThread(Kernel& kernel, const WorkerThread& thread) {
  if (thread.handle == 0) return false;
  return kernel.resumeThread(thread.handle) != 0xFFFFFFFFu;
}

}  // namespace framework
