// The update worker: one update run, from Start Update to the end of the
// main dialog. It secures the reader's configuration block in the registry,
// compares the reader's firmware with the picked image, downloads the image
// and verifies it, with up to five attempts and a replug between them, then
// shows the finish dialog and ends the main dialog with a quit message.
#pragma once

#include "platform/kernel.h"

namespace norbix {

// Started by Start Update on a thread of its own with the worker parameter
// block (a ThreadBlock whose dialog is the main dialog). Returns 1.
platform::DWORD updateWorker(void* workerBlock);

}  // namespace norbix
