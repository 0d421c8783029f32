#include "engine/reader_commands.h"

#include <cstring>

#include "platform/devio.h"

namespace norbix {

using namespace platform;

namespace {

constexpr BYTE kStandardIn = USB_DIR_IN | USB_TYPE_STANDARD | USB_RECIP_DEVICE;
constexpr BYTE kClassIn = USB_DIR_IN | USB_TYPE_CLASS | USB_RECIP_INTERFACE;
constexpr BYTE kClassOut = USB_TYPE_CLASS | USB_RECIP_INTERFACE;
constexpr BYTE kVendorIn = USB_DIR_IN | USB_TYPE_VENDOR | USB_RECIP_DEVICE;
constexpr BYTE kVendorOut = USB_TYPE_VENDOR | USB_RECIP_DEVICE;
static_assert(kStandardIn == 0x80 && kClassIn == 0xA1 && kClassOut == 0x21 &&
                  kVendorIn == 0xC0 && kVendorOut == 0x40,
              "bmRequestType values of the reader's requests");

std::uint32_t totalLength(std::uint16_t wLength) {
  return static_cast<std::uint32_t>(ControlRequest::kSetupSize + wLength);
}

Handle channelOf(const SharedState& state) {
  return state.readerHandle.load(std::memory_order_relaxed);
}

}  // namespace

ControlRequest::ControlRequest() { std::memset(bytes, 0, sizeof bytes); }

void ControlRequest::setSetup(std::uint8_t bmRequestType,
                              std::uint8_t bRequest, std::uint16_t wValue,
                              std::uint16_t wIndex, std::uint16_t wLength) {
  bytes[0] = bmRequestType;
  bytes[1] = bRequest;
  bytes[2] = static_cast<std::uint8_t>(wValue & 0xFF);
  bytes[3] = static_cast<std::uint8_t>(wValue >> 8);
  bytes[4] = static_cast<std::uint8_t>(wIndex & 0xFF);
  bytes[5] = static_cast<std::uint8_t>(wIndex >> 8);
  bytes[6] = static_cast<std::uint8_t>(wLength & 0xFF);
  bytes[7] = static_cast<std::uint8_t>(wLength >> 8);
}

std::uint16_t ControlRequest::wLength() const {
  return static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
}

int sendControlRequest(Kernel& kernel, const SharedState& state,
                       int deviceToHost, std::uint32_t n,
                       std::uint8_t* request) {
  DWORD inSize = deviceToHost ? static_cast<DWORD>(ControlRequest::kSetupSize) : n;
  DWORD returned = 0;
  BOOL ok = kernel.deviceIoControl(channelOf(state),
                                   protocol::kControlTransferCode, request,
                                   inSize, request, n, &returned);
  if (!ok) {
    // No caller acts on the reason.
    (void)kernel.getLastError();
    return 0;
  }
  return 1;
}

int getDeviceDescriptor(Kernel& kernel, const SharedState& state,
                        std::uint8_t descriptor[kDeviceDescriptorSize]) {
  ControlRequest r;
  r.setSetup(kStandardIn, USB_REQUEST_GET_DESCRIPTOR,
             /*wValue: device descriptor, index 0*/ USB_DEVICE_DESCRIPTOR_TYPE << 8,
             /*wIndex*/ 0, /*wLength*/ kDeviceDescriptorSize);
  if (!sendControlRequest(kernel, state, 1, totalLength(r.wLength()), r.bytes)) {
    return 0;
  }
  std::memcpy(descriptor, r.data(), kDeviceDescriptorSize);
  return 1;
}

int dfuGetState(Kernel& kernel, const SharedState& state) {
  ControlRequest r;
  r.setSetup(kClassIn, DFU_GETSTATE, /*wValue*/ 0, /*wIndex*/ 0,
             /*wLength: bState*/ 1);
  return sendControlRequest(kernel, state, 1, totalLength(r.wLength()), r.bytes);
}

int dfuGetStatus(Kernel& kernel, const SharedState& state,
                 std::uint8_t status[kDfuStatusSize]) {
  ControlRequest r;
  r.setSetup(kClassIn, DFU_GETSTATUS, /*wValue*/ 0, /*wIndex*/ 0,
             /*wLength*/ kDfuStatusSize);
  if (!sendControlRequest(kernel, state, 1, totalLength(r.wLength()), r.bytes)) {
    return 0;
  }
  std::memcpy(status, r.data(), kDfuStatusSize);
  return 1;
}

int dfuUpload(Kernel& kernel, const SharedState& state, std::uint8_t block,
              std::uint16_t length, std::uint8_t* destination) {
  // A longer data stage would not fit the request buffer.
  if (length > protocol::kMaxDataStage) return 0;
  ControlRequest r;
  r.setSetup(kClassIn, DFU_UPLOAD, /*wValue: block number*/ block,
             /*wIndex*/ 0, /*wLength*/ length);
  if (!sendControlRequest(kernel, state, 1, totalLength(length), r.bytes)) {
    return 0;
  }
  std::memcpy(destination, r.data(), length);
  return 1;
}

int dfuDownload(Kernel& kernel, const SharedState& state, std::uint8_t block,
                std::uint16_t length, const std::uint8_t* source) {
  if (length > protocol::kMaxDataStage) return 0;
  ControlRequest r;
  r.setSetup(kClassOut, DFU_DNLOAD, /*wValue: block number*/ block,
             /*wIndex*/ 0, /*wLength*/ length);
  if (length > 0) std::memcpy(r.data(), source, length);
  return sendControlRequest(kernel, state, 0, totalLength(length), r.bytes);
}

int readEepromBlock(Kernel& kernel, const SharedState& state,
                    std::uint8_t request[kEepromRequestSize]) {
  std::memset(request, 0, kEepromRequestSize);
  ControlRequest r;
  r.setSetup(kVendorIn, protocol::kReadEepromRequest, /*wValue*/ 0,
             /*wIndex*/ 0, /*wLength*/ protocol::kEepromBlockSize);
  std::memcpy(request, r.bytes, ControlRequest::kSetupSize);
  return sendControlRequest(kernel, state, 1, kEepromRequestSize, request);
}

int sendPreUpdateRequest(Kernel& kernel, const SharedState& state) {
  // The setup packet alone: no data stage, so no zero-filled tail either.
  // It is host-to-device, yet sent with the device-to-host marker: with
  // wLength 0 both give the driver the same 8 bytes in and out.
  ControlRequest r;
  r.setSetup(kVendorOut, protocol::kPreUpdateRequest,
             /*wValue*/ protocol::kPreUpdateValue, /*wIndex*/ 0,
             /*wLength*/ 0);
  std::uint8_t packet[ControlRequest::kSetupSize];
  std::memcpy(packet, r.bytes, sizeof packet);
  return sendControlRequest(kernel, state, 1, sizeof packet, packet);
}

int setDriverParameter(Kernel& kernel, const SharedState& state) {
  std::uint8_t value = protocol::kDriverParameterValue;
  DWORD returned = 0;
  BOOL ok = kernel.deviceIoControl(channelOf(state),
                                   protocol::kDriverParameterCode, &value,
                                   sizeof value, /*out*/ nullptr,
                                   /*outSize*/ 0, &returned);
  return ok ? 1 : 0;
}

}  // namespace norbix
