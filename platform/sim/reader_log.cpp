#include "reader_log.h"

#include <cstdio>

namespace sim {

const char* kindName(RequestKind kind) {
  switch (kind) {
    case RequestKind::ScsiRequestSense: return "RequestSense";
    case RequestKind::ScsiInquiry: return "Inquiry";
    case RequestKind::ScsiVendorStatus: return "VendorStatus";
    case RequestKind::ScsiOther: return "Scsi";
    case RequestKind::GetDescriptor: return "GetDescriptor";
    case RequestKind::DfuGetState: return "DfuGetState";
    case RequestKind::DfuGetStatus: return "DfuGetStatus";
    case RequestKind::DfuUpload: return "DfuUpload";
    case RequestKind::DfuDownload: return "DfuDownload";
    case RequestKind::DfuOther: return "DfuOther";
    case RequestKind::ReadEeprom: return "ReadEeprom";
    case RequestKind::PreUpdate: return "PreUpdate";
    case RequestKind::ControlOther: return "Control";
    case RequestKind::DriverParameter: return "DriverParameter";
    case RequestKind::Unsupported: return "Unsupported";
  }
  return "?";
}

const char* outcomeName(RequestOutcome outcome) {
  switch (outcome) {
    case RequestOutcome::Ok: return "ok";
    case RequestOutcome::Stalled: return "stalled";
    case RequestOutcome::Fault: return "fault";
    case RequestOutcome::Unplugged: return "unplugged";
    case RequestOutcome::PowerLoss: return "power-loss";
    case RequestOutcome::NotConnected: return "not-connected";
    case RequestOutcome::Invalid: return "invalid";
  }
  return "?";
}

std::string formatRequest(const RequestRecord& r) {
  std::string line = "device " + r.channel + " " + kindName(r.kind);
  char text[96];
  if (r.commandLength == 8) {
    std::snprintf(text, sizeof text,
                  " %02x-%02x wValue=%04x wIndex=%04x wLength=%04x",
                  r.bmRequestType(), r.bRequest(), r.wValue(), r.wIndex(),
                  r.wLength());
    line += text;
  } else if (r.commandLength > 0) {
    line += " [";
    for (std::size_t i = 0; i < r.commandLength; ++i) {
      std::snprintf(text, sizeof text, i == 0 ? "%02x" : " %02x", r.command[i]);
      line += text;
    }
    line += "]";
  } else {
    std::snprintf(text, sizeof text, " code=%08x", static_cast<unsigned>(r.code));
    line += text;
  }
  std::snprintf(text, sizeof text, " in=%u out=%u %s",
                static_cast<unsigned>(r.inSize), static_cast<unsigned>(r.outSize),
                outcomeName(r.outcome));
  line += text;
  if (r.ok()) {
    std::snprintf(text, sizeof text, " returned=%u", static_cast<unsigned>(r.returned));
  } else {
    std::snprintf(text, sizeof text, " error=%u", static_cast<unsigned>(r.error));
  }
  line += text;
  if (r.dfuState >= 0) {
    std::snprintf(text, sizeof text, " state=%d", r.dfuState);
    line += text;
  }
  return line;
}

}  // namespace sim
