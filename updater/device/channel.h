// Device channels: the handles through which everything the updater says
// to the reader travels. Three kinds exist (the utility VxD on Windows
// 98/Me, the reader's physical drive on NT-family Windows, the update
// driver's device) and each opens with its own fixed parameters.
//
// Every open stores its outcome, a handle or INVALID_HANDLE_VALUE, into the
// caller's variable before it returns; operations return 1 or 0.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel.h"

namespace norbix {

// A channel variable (`readerHandle`, a watch thread's own channel). Written
// as one store and read without a lock by whichever thread uses it.
using ChannelVariable = std::atomic<platform::Handle>;

// Up to 64 opens in a row with no pause; 1 at the first handle.
int openUtilityVxd(platform::Kernel& kernel, ChannelVariable& channel);

// Opens "\\.\PHYSICALDRIVE" followed by the one character '0' + ordinal - 1,
// so ordinals 1 to 10 name drives 0 to 9 and 11 names a drive ':'.
int openPhysicalDrive(platform::Kernel& kernel, ChannelVariable& channel,
                      std::uint8_t ordinal);

// Opens the first of "\\.\ZANDEF1" ... "\\.\ZANDEF255" that opens.
int openUpdateDriver(platform::Kernel& kernel, ChannelVariable& channel);

// INVALID_HANDLE_VALUE: 0 and no system call. Anything else, zero included:
// CloseHandle, whose result does not matter, and 1.
int closeChannel(platform::Kernel& kernel, platform::Handle channel);

}  // namespace norbix
