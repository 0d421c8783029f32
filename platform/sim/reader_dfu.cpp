#include "reader_dfu.h"

#include <algorithm>
#include <cstring>

#include "platform/devio.h"

namespace sim {

using namespace platform;

namespace {

constexpr std::size_t kReaderDataBegin = 0x400;
constexpr std::size_t kReaderDataEnd = 0x700;
constexpr std::size_t kConfigBegin = 0xFE80;
constexpr std::size_t kConfigEnd = 0xFF80;

bool readerOwned(std::size_t offset) {
  return (offset >= kReaderDataBegin && offset < kReaderDataEnd) ||
         (offset >= kConfigBegin && offset < kConfigEnd);
}

}  // namespace

ReaderFirmware::ReaderFirmware()
    : memory_(kMemorySize, 0xFF),
      state_(DFU_STATE_DFU_IDLE),
      status_(DFU_STATUS_OK) {}

ReaderFirmware::Answer ReaderFirmware::fail(std::uint8_t status) {
  status_ = status;
  state_ = DFU_STATE_ERROR;
  return {};
}

ReaderFirmware::Answer ReaderFirmware::stall() {
  return fail(DFU_STATUS_ERR_STALLEDPKT);
}

void ReaderFirmware::reset() {
  state_ = DFU_STATE_DFU_IDLE;
  status_ = DFU_STATUS_OK;
  nextBlock_ = 0;
  written_ = 0;
  pending_.clear();
  pendingBlock_ = -1;
  blockWritten_ = false;
  manifested_ = false;
}

bool ReaderFirmware::vendorRequestAllowed() const {
  return state_ == DFU_STATE_DFU_IDLE || state_ == DFU_STATE_UPLOAD_IDLE;
}

ReaderFirmware::Answer ReaderFirmware::getState(std::uint8_t* out,
                                                std::size_t wLength) {
  if (wLength == 0) return stall();
  out[0] = state_;
  return {true, 1};
}

ReaderFirmware::Answer ReaderFirmware::getStatus(std::uint8_t* out,
                                                 std::size_t wLength) {
  if (wLength < DFU_STATUS_SIZE) return stall();
  std::uint8_t reported = state_;
  switch (state_) {
    case DFU_STATE_DNLOAD_SYNC:
      if (!blockWritten_) {
        // Programming starts now and is over before the host may ask
        // again (poll timeout 0).
        writeBlock();
        reported = DFU_STATE_DNBUSY;
      } else {
        state_ = DFU_STATE_DNLOAD_IDLE;
        reported = state_;
      }
      break;
    case DFU_STATE_MANIFEST_SYNC:
      if (!manifested_) {
        manifest();
        reported = DFU_STATE_MANIFEST;
      } else {
        state_ = DFU_STATE_DFU_IDLE;  // manifestation tolerant
        reported = state_;
      }
      break;
    default:
      break;
  }
  out[0] = status_;
  out[1] = out[2] = out[3] = 0;  // bwPollTimeout
  out[4] = reported;
  out[5] = 0;  // iString
  return {true, DFU_STATUS_SIZE};
}

ReaderFirmware::Answer ReaderFirmware::upload(int block, std::size_t wLength,
                                              std::uint8_t* out) {
  if (state_ != DFU_STATE_DFU_IDLE && state_ != DFU_STATE_UPLOAD_IDLE) {
    return stall();
  }
  if (wLength == 0 || wLength > kTransferSize) return stall();
  const std::size_t offset = static_cast<std::size_t>(block) * kTransferSize;
  const std::size_t available = offset < kMemorySize ? kMemorySize - offset : 0;
  const std::size_t n = std::min(wLength, available);
  if (n > 0) std::memcpy(out, memory_.data() + offset, n);
  // A short frame tells the host that the upload is complete.
  state_ = n < wLength ? DFU_STATE_DFU_IDLE : DFU_STATE_UPLOAD_IDLE;
  return {true, n};
}

ReaderFirmware::Answer ReaderFirmware::download(int block,
                                                const std::uint8_t* data,
                                                std::size_t wLength) {
  const bool starts = state_ == DFU_STATE_DFU_IDLE ||
                      (state_ == DFU_STATE_UPLOAD_IDLE && block == 0);
  if (starts) {
    if (wLength == 0) return stall();
    nextBlock_ = 0;
    written_ = 0;
  } else if (state_ != DFU_STATE_DNLOAD_IDLE) {
    return stall();
  }
  if (wLength == 0) {
    // The end of the transfer: only a complete image may be manifested.
    if (written_ != kMemorySize) return fail(DFU_STATUS_ERR_NOTDONE);
    manifested_ = false;
    state_ = DFU_STATE_MANIFEST_SYNC;
    return {true, 0};
  }
  const std::size_t offset = static_cast<std::size_t>(block) * kTransferSize;
  if (block != nextBlock_ || wLength > kTransferSize ||
      offset + wLength > kMemorySize) {
    return fail(DFU_STATUS_ERR_ADDRESS);
  }
  pending_.assign(data, data + wLength);
  pendingBlock_ = block;
  blockWritten_ = false;
  state_ = DFU_STATE_DNLOAD_SYNC;
  return {true, 0};
}

void ReaderFirmware::writeBlock() {
  const std::size_t offset =
      static_cast<std::size_t>(pendingBlock_) * kTransferSize;
  intact_ = false;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    const std::size_t at = offset + i;
    if (at >= kConfigBegin && at < kConfigEnd) newConfig_[at - kConfigBegin] = pending_[i];
    if (!readerOwned(at)) memory_[at] = pending_[i];
  }
  written_ += pending_.size();
  ++nextBlock_;
  blockWritten_ = true;
}

void ReaderFirmware::manifest() {
  // The image's configuration region becomes the reader's configuration
  // block; the copy in firmware memory stays the reader's own.
  eeprom_ = newConfig_;
  intact_ = true;
  manifested_ = true;
}

ReaderFirmware::Answer ReaderFirmware::abort() {
  if (state_ != DFU_STATE_DFU_IDLE && state_ != DFU_STATE_DNLOAD_IDLE &&
      state_ != DFU_STATE_UPLOAD_IDLE) {
    return stall();
  }
  state_ = DFU_STATE_DFU_IDLE;
  return {true, 0};
}

ReaderFirmware::Answer ReaderFirmware::clearStatus() {
  if (state_ != DFU_STATE_ERROR) return stall();
  state_ = DFU_STATE_DFU_IDLE;
  status_ = DFU_STATUS_OK;
  return {true, 0};
}

namespace {

constexpr char kMarker[] = "USB 2";

std::size_t versionMarker(const std::vector<std::uint8_t>& memory) {
  const std::size_t last = 0xFE5F;
  for (std::size_t k = 0; k <= last && k + 20 <= memory.size(); ++k) {
    if (std::memcmp(memory.data() + k, kMarker, 5) == 0) return k;
  }
  return memory.size();
}

}  // namespace

std::uint16_t firmwareVersion(const std::vector<std::uint8_t>& memory) {
  std::size_t k = versionMarker(memory);
  if (k >= memory.size()) return 0;
  const std::uint8_t* c = memory.data() + k + 16;
  return static_cast<std::uint16_t>((c[0] - 0x30) * 256 + (c[2] - 0x30) * 16 +
                                    (c[3] - 0x30));
}

std::string firmwareVersionText(const std::vector<std::uint8_t>& memory) {
  std::size_t k = versionMarker(memory);
  if (k >= memory.size()) return "0.00";
  return std::string(reinterpret_cast<const char*>(memory.data() + k + 16), 4);
}

}  // namespace sim
