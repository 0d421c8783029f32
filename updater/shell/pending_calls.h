// Calls from the shell into subsystems whose code does not exist yet. Each
// is declared with the shape the shell calls it with and defined in
// pending_calls.cpp with a body that does nothing; the subsystem that
// provides the real operation deletes the definition there.
#pragma once

#include "platform/kernel.h"

namespace norbix {

class UpdateDialog;
class UpdaterApp;

// The device watch thread, given the watch parameter block (ThreadBlock).
platform::DWORD readerWatchThread(void* watchBlock);
// The update worker, given the worker parameter block (ThreadBlock).
platform::DWORD updateWorker(void* workerBlock);
// The reconnect check the device-change handler runs.
void checkAttachedReader(UpdateDialog& dialog);
// The identification mode of showReaderInfo (flag 1).
bool identifyReader(UpdateDialog& dialog);
// The Windows 2000/XP drive-letter scan; 0 when no reader drive is found.
int findReaderDrivesNt(UpdateDialog& dialog);
// Copies the update driver into place before the main dialog runs.
void stageUpdateDriver(UpdaterApp& app);

}  // namespace norbix
