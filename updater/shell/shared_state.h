// The values the updater's threads share. One object per program run,
// zeroed at its start and handed to the code that needs it, so that a
// second copy or a restart on the same simulated PC gets its own values.
//
// Each value is written as one store and read without a lock; readers
// tolerate the old or the new value. Relaxed atomics say exactly that.
#pragma once

#include <atomic>
#include <cstdint>

#include "package/eeprom_block.h"
#include "platform/types.h"

namespace norbix {

using SharedInt = std::atomic<std::int32_t>;

// updateState values.
inline constexpr std::int32_t kStateWaiting = -1;
inline constexpr std::int32_t kStateReaderFound = 0;
inline constexpr std::int32_t kStateUpdating = 1;
inline constexpr std::int32_t kStateFinished = 2;
inline constexpr std::int32_t kStateNotAReader = 4;
inline constexpr std::int32_t kStateCannotUpdate = 5;

struct SharedState {
  SharedInt readerVariant{0};
  SharedInt isWin9x{0};
  SharedInt isX64Windows{0};
  SharedInt shutdownRequested{0};
  SharedInt updateState{0};
  SharedInt updateSucceeded{0};
  SharedInt readerAttached{0};
  SharedInt firmwareAlreadyCurrent{0};
  SharedInt savedUpdateState{0};
  std::atomic<std::uint16_t> connectedVendorId{0};
  std::atomic<std::uint16_t> connectedProductId{0};
  // The shared device channel: zero at start, all ones once the worker has
  // closed it.
  std::atomic<platform::Handle> readerHandle{0};
  // Drive number (0 = A:) that every utility VxD request carries.
  std::atomic<std::uint8_t> readerDriveNumber{0};
  // The configuration block of the reader being updated. Only the update
  // worker touches it; it keeps its content from one attempt, and one run
  // of the worker, to the next.
  EepromBlock eepromData{};
  // 1 while the last identification or reconnect check judged the attached
  // reader unfit for these update files (the ids, the version, the product,
  // "not updatable", no fitting file), 0 once one accepted a reader. The
  // reconnect check turns state 4 back into 1 at its end, so the worker
  // reads this, not updateState, before it writes firmware.
  SharedInt readerJudgedUnfit{0};
};

inline std::int32_t load(const SharedInt& value) {
  return value.load(std::memory_order_relaxed);
}
inline void store(SharedInt& value, std::int32_t v) {
  value.store(v, std::memory_order_relaxed);
}

}  // namespace norbix
