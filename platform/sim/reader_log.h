// What a simulated card reader was asked: one record per request that
// reached it on any of its channels, with the setup packet or CDB, the
// buffer sizes and the outcome. Tests read the records; the scenario runner
// prints them as "device ..." lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"
#include "scheduler.h"

namespace sim {

enum class RequestKind {
  ScsiRequestSense,
  ScsiInquiry,
  ScsiVendorStatus,
  ScsiOther,
  GetDescriptor,
  DfuGetState,
  DfuGetStatus,
  DfuUpload,
  DfuDownload,
  DfuOther,  // DETACH, CLRSTATUS, ABORT and unknown class requests
  ReadEeprom,
  PreUpdate,
  ControlOther,  // any other control transfer
  DriverParameter,
  Unsupported,  // a request code the channel does not know
};
const char* kindName(RequestKind kind);

enum class RequestOutcome {
  Ok,
  Stalled,       // the reader refused it (DFU stall, unknown request)
  Fault,         // failed by the fault plan
  Unplugged,     // the fault plan unplugged the reader at this request
  PowerLoss,     // the fault plan cut the power at this request
  NotConnected,  // the channel's device has gone
  Invalid,       // malformed buffer or unsupported code
};
const char* outcomeName(RequestOutcome outcome);

struct RequestRecord {
  Millis time = 0;
  int number = 0;      // from 1, every request this reader has seen
  int sinceArmed = 0;  // from 1, since the fault plan was last armed
  std::string channel;  // "PHYSICALDRIVE1", "ZANUTL1.VXD F:", "ZANDEF1"
  platform::DWORD code = 0;
  platform::DWORD inSize = 0;
  platform::DWORD outSize = 0;
  RequestKind kind = RequestKind::Unsupported;
  // The setup packet (8 bytes), the CDB (12 bytes) or the driver
  // parameter (1 byte), as far as the request carried it.
  std::array<std::uint8_t, 12> command{};
  std::size_t commandLength = 0;
  RequestOutcome outcome = RequestOutcome::Invalid;
  platform::DWORD error = 0;     // the error the request failed with
  platform::DWORD returned = 0;  // bytes the driver reported
  int dfuState = -1;             // after the request; -1 in normal mode

  bool ok() const { return outcome == RequestOutcome::Ok; }
  // Setup-packet fields of a control transfer.
  std::uint8_t bmRequestType() const { return command[0]; }
  std::uint8_t bRequest() const { return command[1]; }
  std::uint16_t wValue() const { return word(2); }
  std::uint16_t wIndex() const { return word(4); }
  std::uint16_t wLength() const { return word(6); }

 private:
  std::uint16_t word(std::size_t at) const {
    return static_cast<std::uint16_t>(command[at] | (command[at + 1] << 8));
  }
};

// "device ZANDEF1 DfuUpload a1-02 wValue=000f wIndex=0000 wLength=0ffe
// in=8 out=4102 ok returned=4102 state=9", one line, no time stamp.
std::string formatRequest(const RequestRecord& record);

}  // namespace sim
