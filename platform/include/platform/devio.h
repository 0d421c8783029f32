// Published device-request values and layouts: the Windows SCSI
// pass-through and SCSI request block as a 32-bit caller lays them out, the
// SCSI operation codes, the standard USB requests and the class requests of
// the USB Device Firmware Upgrade 1.1 standard.
//
// Both the program (which builds the requests) and the simulated hardware
// (which answers them) use these, so the two can never disagree. The win32
// backend does not include this header: <windows.h> and the driver kit
// headers define several of these names as macros.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace platform {

// CTL_CODE as the driver kit builds it.
constexpr DWORD ctlCode(DWORD deviceType, DWORD function, DWORD method,
                        DWORD access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
inline constexpr DWORD FILE_DEVICE_UNKNOWN = 0x22;
inline constexpr DWORD METHOD_BUFFERED = 0;
inline constexpr DWORD FILE_ANY_ACCESS = 0;

inline constexpr DWORD IOCTL_SCSI_PASS_THROUGH = 0x4D004;
static_assert(IOCTL_SCSI_PASS_THROUGH == ctlCode(0x4, 0x401, METHOD_BUFFERED, 3),
              "IOCTL_SCSI_PASS_THROUGH is CTL_CODE(IOCTL_SCSI_BASE, 0x401, "
              "METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)");

inline constexpr BYTE SCSI_IOCTL_DATA_OUT = 0;
inline constexpr BYTE SCSI_IOCTL_DATA_IN = 1;
inline constexpr BYTE SCSI_IOCTL_DATA_UNSPECIFIED = 2;

// SCSI_PASS_THROUGH of ntddscsi.h for a 32-bit caller (DataBufferOffset is
// a ULONG_PTR, 32 bits wide there; a 32-bit program on 64-bit Windows is
// thunked from this same layout).
struct SCSI_PASS_THROUGH32 {
  WORD Length;
  BYTE ScsiStatus;
  BYTE PathId;
  BYTE TargetId;
  BYTE Lun;
  BYTE CdbLength;
  BYTE SenseInfoLength;
  BYTE DataIn;
  BYTE Reserved[3];  // alignment padding of the published structure
  DWORD DataTransferLength;
  DWORD TimeOutValue;
  DWORD DataBufferOffset;
  DWORD SenseInfoOffset;
  BYTE Cdb[16];
};
static_assert(sizeof(SCSI_PASS_THROUGH32) == 44, "SCSI_PASS_THROUGH layout");
static_assert(offsetof(SCSI_PASS_THROUGH32, DataTransferLength) == 12, "");
static_assert(offsetof(SCSI_PASS_THROUGH32, DataBufferOffset) == 20, "");
static_assert(offsetof(SCSI_PASS_THROUGH32, Cdb) == 28, "");

// SCSI_REQUEST_BLOCK of srb.h for a 32-bit caller (pointers 32 bits wide).
struct SCSI_REQUEST_BLOCK32 {
  WORD Length;
  BYTE Function;
  BYTE SrbStatus;
  BYTE ScsiStatus;
  BYTE PathId;
  BYTE TargetId;
  BYTE Lun;
  BYTE QueueTag;
  BYTE QueueAction;
  BYTE CdbLength;
  BYTE SenseInfoBufferLength;
  DWORD SrbFlags;
  DWORD DataTransferLength;
  DWORD TimeOutValue;
  DWORD DataBuffer;
  DWORD SenseInfoBuffer;
  DWORD NextSrb;
  DWORD OriginalRequest;
  DWORD SrbExtension;
  DWORD QueueSortKey;
  BYTE Cdb[16];
};
static_assert(sizeof(SCSI_REQUEST_BLOCK32) == 64, "SCSI_REQUEST_BLOCK layout");
static_assert(offsetof(SCSI_REQUEST_BLOCK32, DataBuffer) == 24, "");
static_assert(offsetof(SCSI_REQUEST_BLOCK32, Cdb) == 48, "");

inline constexpr BYTE SRB_FUNCTION_EXECUTE_SCSI = 0x00;
inline constexpr DWORD SRB_FLAGS_DATA_IN = 0x40;
inline constexpr BYTE SRB_STATUS_PENDING = 0x00;
inline constexpr BYTE SRB_STATUS_SUCCESS = 0x01;
inline constexpr BYTE SRB_STATUS_ERROR = 0x04;
inline constexpr BYTE SRB_STATUS_INVALID_REQUEST = 0x06;

// SCSI operation codes and status (SCSI Primary Commands).
inline constexpr BYTE SCSIOP_REQUEST_SENSE = 0x03;
inline constexpr BYTE SCSIOP_INQUIRY = 0x12;
inline constexpr BYTE SCSISTAT_GOOD = 0x00;
inline constexpr BYTE SCSISTAT_CHECK_CONDITION = 0x02;
inline constexpr BYTE SCSI_SENSE_NO_SENSE = 0x0;
inline constexpr BYTE SCSI_SENSE_NOT_READY = 0x2;
inline constexpr BYTE SCSI_SENSE_ILLEGAL_REQUEST = 0x5;

// USB setup packet fields (USB 2.0, chapter 9).
inline constexpr BYTE USB_DIR_IN = 0x80;
inline constexpr BYTE USB_TYPE_STANDARD = 0x00;
inline constexpr BYTE USB_TYPE_CLASS = 0x20;
inline constexpr BYTE USB_TYPE_VENDOR = 0x40;
inline constexpr BYTE USB_TYPE_MASK = 0x60;
inline constexpr BYTE USB_RECIP_DEVICE = 0x00;
inline constexpr BYTE USB_RECIP_INTERFACE = 0x01;
inline constexpr BYTE USB_REQUEST_GET_DESCRIPTOR = 0x06;
inline constexpr BYTE USB_DEVICE_DESCRIPTOR_TYPE = 0x01;
inline constexpr std::size_t USB_DEVICE_DESCRIPTOR_SIZE = 18;

// Class requests of the USB Device Firmware Upgrade 1.1 standard.
inline constexpr BYTE DFU_DETACH = 0;
inline constexpr BYTE DFU_DNLOAD = 1;
inline constexpr BYTE DFU_UPLOAD = 2;
inline constexpr BYTE DFU_GETSTATUS = 3;
inline constexpr BYTE DFU_CLRSTATUS = 4;
inline constexpr BYTE DFU_GETSTATE = 5;
inline constexpr BYTE DFU_ABORT = 6;
inline constexpr std::size_t DFU_STATUS_SIZE = 6;

// DFU 1.1 device states (bState).
inline constexpr BYTE DFU_STATE_APP_IDLE = 0;
inline constexpr BYTE DFU_STATE_APP_DETACH = 1;
inline constexpr BYTE DFU_STATE_DFU_IDLE = 2;
inline constexpr BYTE DFU_STATE_DNLOAD_SYNC = 3;
inline constexpr BYTE DFU_STATE_DNBUSY = 4;
inline constexpr BYTE DFU_STATE_DNLOAD_IDLE = 5;
inline constexpr BYTE DFU_STATE_MANIFEST_SYNC = 6;
inline constexpr BYTE DFU_STATE_MANIFEST = 7;
inline constexpr BYTE DFU_STATE_MANIFEST_WAIT_RESET = 8;
inline constexpr BYTE DFU_STATE_UPLOAD_IDLE = 9;
inline constexpr BYTE DFU_STATE_ERROR = 10;

// DFU 1.1 status codes (bStatus).
inline constexpr BYTE DFU_STATUS_OK = 0x00;
inline constexpr BYTE DFU_STATUS_ERR_WRITE = 0x03;
inline constexpr BYTE DFU_STATUS_ERR_ADDRESS = 0x08;
inline constexpr BYTE DFU_STATUS_ERR_NOTDONE = 0x09;
inline constexpr BYTE DFU_STATUS_ERR_VENDOR = 0x0B;
inline constexpr BYTE DFU_STATUS_ERR_STALLEDPKT = 0x0F;

}  // namespace platform
