// Fault plans for a simulated card reader: what goes wrong, and at which
// request. "The n-th request" counts from 1 every request that reaches the
// reader on any of its channels (physical drives, the utility VxD, the
// update driver; driver-parameter requests included) since the plan was
// armed.
#pragma once

#include <vector>

#include "reader_log.h"

namespace sim {

struct FaultPlan {
  // Requests that fail on the bus: the driver reports ERROR_GEN_FAILURE and
  // the reader's state does not change.
  int failRequest = 0;  // the n-th request; 0 for none
  std::vector<RequestKind> failKinds;  // every request of these kinds
  struct BlockFault {
    RequestKind kind;  // DfuUpload or DfuDownload
    int block;
  };
  std::vector<BlockFault> failBlocks;  // every upload or download of a block

  // The reader leaves the bus at the n-th request, which fails.
  int unplugAtRequest = 0;
  // The PC loses its power at the n-th request: every process ends (the
  // calling one inside the request), the reader resets.
  int powerLossAtRequest = 0;

  // The configuration block cannot be read: request 0x46 stalls.
  bool eepromUnreadable = false;
  // The vendor status query reports "not updatable" (bit 6 of byte 7).
  bool notUpdatable = false;
};

}  // namespace sim
