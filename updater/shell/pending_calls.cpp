#include "shell/pending_calls.h"

namespace norbix {

// Waits for the device watch thread: without it no reader is ever
// identified, so Start Update stays disabled.
platform::DWORD readerWatchThread(void* /*watchBlock*/) { return 0; }

// Waits for the reconnect check of the device information step.
void checkAttachedReader(UpdateDialog& /*dialog*/) {}

// Waits for the device information step.
bool identifyReader(UpdateDialog& /*dialog*/) { return false; }

// Waits for drive-letter discovery: no reader drive is known.
int findReaderDrivesNt(UpdateDialog& /*dialog*/) { return 0; }

// Waits for driver staging: nothing is copied yet.
void stageUpdateDriver(UpdaterApp& /*app*/) {}

}  // namespace norbix
