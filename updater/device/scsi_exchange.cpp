#include "device/scsi_exchange.h"

#include <cstring>
#include <limits>
#include <new>

#include "device/reader_protocol.h"

namespace norbix {

using namespace platform;

const std::uint8_t scsiCommandTable[kScsiCommandCount][kCdbLength] = {
    {SCSIOP_REQUEST_SENSE, 0, 0, 0, kRequestSenseLength, 0, 0, 0, 0, 0, 0, 0},
    {SCSIOP_INQUIRY, 0, 0, 0, kInquiryLength, 0, 0, 0, 0, 0, 0, 0},
    {protocol::kVendorStatusOpcode, 0, 0, 0, protocol::kVendorStatusSize, 0, 0,
     0, 0, 0, 0, 0},
};

namespace {

bool validCommand(int command) {
  return command >= 0 && command < kScsiCommandCount;
}

// The largest L whose block length 68 + L still fits the 32-bit field.
constexpr std::uint32_t kMaxPassThroughData =
    std::numeric_limits<std::uint32_t>::max() -
    static_cast<std::uint32_t>(sizeof(PassThroughRequest));

int exchangeByPassThrough(Kernel& kernel, Handle channel, int command,
                          std::uint32_t* error, std::uint32_t length,
                          void* data) {
  if (length > kMaxPassThroughData) return 0;  // as a failed allocation
  const std::size_t blockSize = sizeof(PassThroughRequest) + length;
  auto* block = new (std::nothrow) std::uint8_t[blockSize]();
  if (block == nullptr) return 0;
  PassThroughRequest head = makePassThroughRequest(command, length);
  std::memcpy(block, &head, sizeof head);
  DWORD returned = 0;
  BOOL ok = kernel.deviceIoControl(channel, IOCTL_SCSI_PASS_THROUGH, block,
                                   head.totalLength, block, head.totalLength,
                                   &returned);
  if (!ok) {
    if (error != nullptr) *error = kernel.getLastError();
    delete[] block;
    return 0;
  }
  // Only the completion counts: neither the byte count, nor ScsiStatus, nor
  // the sense area is looked at, so bytes the device did not send arrive as
  // the zeros the block was allocated with.
  std::memcpy(data, block + offsetof(PassThroughRequest, data), length);
  delete[] block;
  return 1;
}

int exchangeByVxd(Kernel& kernel, const SharedState& state, Handle channel,
                  int command, std::uint32_t* error, std::uint32_t length,
                  void* data) {
  std::uint8_t sense[kSenseAreaLength] = {};
  VxdScsiRequest request = makeVxdScsiRequest(
      command, state.readerDriveNumber.load(std::memory_order_relaxed), length,
      data, sense);
  DWORD returned = 0;
  BOOL ok = kernel.deviceIoControl(channel, protocol::kVxdScsiRequestCode,
                                   &request, sizeof request, &request,
                                   sizeof request, &returned);
  if (!ok) {
    if (error != nullptr) *error = kernel.getLastError();
    return 0;
  }
  // The answer went straight into `data` through DataBuffer; whatever the
  // VxD reports as success is success.
  return 1;
}

std::uint32_t address32(const void* p) {
  // Windows 98/Me programs are 32-bit: the address is the whole pointer.
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

PassThroughRequest makePassThroughRequest(int command, std::uint32_t length) {
  PassThroughRequest r;
  std::memset(&r, 0, sizeof r);
  r.header.Length = sizeof(SCSI_PASS_THROUGH32);
  r.header.CdbLength = kCdbLength;
  r.header.SenseInfoLength = kSenseAreaLength;
  r.header.DataIn = SCSI_IOCTL_DATA_IN;
  r.header.DataTransferLength = length;
  r.header.TimeOutValue = kPassThroughTimeoutSeconds;
  r.header.DataBufferOffset = offsetof(PassThroughRequest, data);
  r.header.SenseInfoOffset = offsetof(PassThroughRequest, sense);
  if (validCommand(command)) {
    std::memcpy(r.header.Cdb, scsiCommandTable[command], kCdbLength);
  }
  r.totalLength = static_cast<std::uint32_t>(sizeof r) + length;
  return r;
}

VxdScsiRequest makeVxdScsiRequest(int command, std::uint8_t driveNumber,
                                  std::uint32_t length, const void* data,
                                  const void* sense) {
  VxdScsiRequest r;
  std::memset(&r, 0, sizeof r);
  r.driveNumber = driveNumber;
  r.srb.Length = sizeof(SCSI_REQUEST_BLOCK32);
  r.srb.Function = SRB_FUNCTION_EXECUTE_SCSI;
  r.srb.CdbLength = kCdbLength;
  r.srb.SenseInfoBufferLength = kSenseAreaLength;
  r.srb.SrbFlags = SRB_FLAGS_DATA_IN;
  r.srb.DataTransferLength = length;
  r.srb.TimeOutValue = 0;
  r.srb.DataBuffer = address32(data);
  r.srb.SenseInfoBuffer = address32(sense);
  if (validCommand(command)) {
    std::memcpy(r.srb.Cdb, scsiCommandTable[command], kCdbLength);
  }
  return r;
}

int exchangeScsiCommand(Kernel& kernel, const SharedState& state,
                        Handle channel, int command, std::uint32_t* error,
                        std::uint32_t length, void* data) {
  // An index outside the table would send whatever follows it.
  if (!validCommand(command)) return 0;
  if (load(state.isWin9x) == 1) {
    return exchangeByVxd(kernel, state, channel, command, error, length, data);
  }
  return exchangeByPassThrough(kernel, channel, command, error, length, data);
}

int queryNotUpdatable(Kernel& kernel, const SharedState& state,
                      Handle channel, std::uint32_t* error) {
  std::uint8_t answer[protocol::kVendorStatusSize] = {};
  if (!exchangeScsiCommand(kernel, state, channel, kScsiVendorStatus, error,
                           sizeof answer, answer)) {
    return 0;
  }
  return (answer[protocol::kNotUpdatableByte] & protocol::kNotUpdatableBit) ? 1
                                                                            : 0;
}

int sendRequestSense(Kernel& kernel, const SharedState& state) {
  std::uint8_t sense[kRequestSenseLength] = {};
  std::uint32_t error = 0;
  return exchangeScsiCommand(kernel, state,
                             state.readerHandle.load(std::memory_order_relaxed),
                             kScsiRequestSense, &error, sizeof sense, sense);
}

}  // namespace norbix
