#include "device/channel.h"

#include <cstdio>

#include "device/reader_protocol.h"

namespace norbix {

using namespace platform;

namespace {

// Windows 98/Me load a dynamic VxD for the caller under the delete-on-close
// flag and unload it again when its last handle closes.
constexpr DWORD kVxdOpenFlags = FILE_FLAG_DELETE_ON_CLOSE;
constexpr int kVxdOpenAttempts = 64;

bool isOpen(Handle h) { return h != INVALID_HANDLE_VALUE; }

}  // namespace

int openUtilityVxd(Kernel& kernel, ChannelVariable& channel) {
  // Loading a dynamic VxD can fail for a moment; the open is repeated at
  // once rather than after a pause, so a missing VxD costs no time.
  for (int attempt = 0; attempt < kVxdOpenAttempts; ++attempt) {
    Handle h = kernel.createFileA(protocol::kUtilityVxdName, /*access*/ 0,
                                  /*shareMode*/ 0, /*creation*/ 0,
                                  kVxdOpenFlags);
    channel.store(h, std::memory_order_relaxed);
    if (isOpen(h)) return 1;
  }
  return 0;
}

int openPhysicalDrive(Kernel& kernel, ChannelVariable& channel,
                      std::uint8_t ordinal) {
  // The name has room for one digit only; discovery never counts past ten
  // drives in practice, and a larger ordinal names no drive at all.
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\PHYSICALDRIVE%c",
                static_cast<char>('0' + ordinal - 1));
  Handle h = kernel.createFileA(name, GENERIC_READ | GENERIC_WRITE,
                                /*shareMode: exclusive*/ 0, OPEN_EXISTING,
                                /*flags*/ 0);
  channel.store(h, std::memory_order_relaxed);
  return isOpen(h) ? 1 : 0;
}

int openUpdateDriver(Kernel& kernel, ChannelVariable& channel) {
  for (int n = protocol::kFirstUpdateDriverNumber;
       n <= protocol::kLastUpdateDriverNumber; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", protocol::kUpdateDriverPrefix, n);
    Handle h = kernel.createFileA(name, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    channel.store(h, std::memory_order_relaxed);
    if (isOpen(h)) return 1;
  }
  return 0;
}

int closeChannel(Kernel& kernel, Handle channel) {
  if (!isOpen(channel)) return 0;
  kernel.closeHandle(channel);
  return 1;
}

}  // namespace norbix
