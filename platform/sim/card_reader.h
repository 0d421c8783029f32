// A simulated USB memory-card reader on a simulated PC.
//
// Normal mode: a mass-storage device with one removable drive letter per
// slot, reached through "\\.\PHYSICALDRIVEn" on NT-family Windows and
// through the utility VxD "\\.\ZANUTL1.VXD" on Windows 98/Me, answering
// INQUIRY, REQUEST SENSE and the vendor status query C1.
//
// Update-driver mode (the reader enumerated while the update INF is the one
// Windows finds for it): the device "\\.\ZANDEFn" that carries control
// transfers to the reader's firmware (ReaderFirmware: the DFU 1.1 state
// machine, the firmware memory, the configuration block), the driver
// parameter request, and the vendor status query as a SCSI request.
//
// Identity: the USB ids come from the configuration block (offsets 26 and
// 28) and bcdDevice from the version text in the firmware memory, both as
// they were at the last enumeration. A reader whose firmware is not intact
// (a download that did not finish) enumerates with the default identity
// 0x6F29/0x6601 and has no drive letters.
//
// A test makes one with a config, plugs it, arms fault plans and reads the
// request log:
//   sim::CardReader reader(pc, config);
//   reader.plug();
//   sim::FaultPlan plan;
//   plan.failRequest = 3;
//   reader.armFaults(plan);
//   ... run the program ...
//   reader.requestLog()  // one RequestRecord per request
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices.h"
#include "pc.h"
#include "reader_dfu.h"
#include "reader_faults.h"
#include "reader_log.h"

namespace sim {

enum class DriverBinding { Normal, UpdateDriver };

// How physical-drive numbers follow the drive letters: every letter of
// types 2 to 6 in letter order (what discovery assumes), or only removable
// and fixed disks, as Windows numbers them, so that a network drive or a
// CD-ROM drive before the reader shifts what discovery opens.
enum class PhysicalDriveLayout { EveryLetter, DisksOnly };

struct ReaderSlot {
  char letter;          // the drive letter the slot gets, if free
  std::string product;  // INQUIRY product identification, up to 16 chars
};

struct ReaderConfig {
  // The firmware memory: 65534 bytes, or a whole update file of which the
  // firmware part is taken. Bytes 0x400-0x6FF are then stamped with data
  // of this reader (from `serial`) and the configuration region with the
  // configuration block, so both differ from every image.
  std::vector<std::uint8_t> firmware;
  std::array<std::uint8_t, 256> eeprom{};  // ids at offsets 26 and 28
  bool firmwareIntact = true;
  std::string inquiryVendor = "VELDANIX";  // 8 characters
  std::vector<ReaderSlot> slots{{'F', "CF Card Reader"},
                                {'G', "MS Card Reader"},
                                {'H', "SD Card Reader"},
                                {'I', "SM Card Reader"}};
  std::size_t inquiryLength = 36;  // INQUIRY bytes the reader sends
  // The vendor status answer; bit 6 of byte 7 says "not updatable".
  std::array<std::uint8_t, 8> vendorStatus{};
  int updateDriverNumber = 1;  // n of "\\.\ZANDEFn"
  std::uint32_t serial = 1;
  PhysicalDriveLayout layout = PhysicalDriveLayout::EveryLetter;
};

class CardReader : public DeviceProvider {
 public:
  CardReader(SimPc& pc, ReaderConfig config);
  ~CardReader() override;
  CardReader(const CardReader&) = delete;
  CardReader& operator=(const CardReader&) = delete;

  // The user plugs or unplugs the cable: enumeration or removal, drive
  // letters, a transcript line and the device-change broadcasts.
  void plug();
  void unplug();
  bool plugged() const { return plugged_; }
  // The same at a virtual time, as a scripted user would.
  void plugAt(Millis at);
  void unplugAt(Millis at);
  // Removal and arrival without the user (a driver switch).
  void reenumerate();

  // Asked at every enumeration. By default the update driver binds while
  // "zandef.inf" lies in the Windows INF folder.
  std::function<DriverBinding()> bindingRule;
  DriverBinding binding() const { return binding_; }

  // The identity of the last enumeration.
  std::uint16_t vendorId() const { return identity_.vendorId; }
  std::uint16_t productId() const { return identity_.productId; }
  std::uint16_t bcdDevice() const { return identity_.bcdDevice; }
  bool showsDefaultIdentity() const;
  std::string deviceInterface() const;  // "USB\VID_2E51&PID_2201\00000001"
  // The letters the reader's slots hold on the PC now.
  std::vector<char> driveLetters() const;

  ReaderFirmware& firmware() { return firmware_; }
  const ReaderFirmware& firmware() const { return firmware_; }
  const ReaderConfig& config() const { return config_; }
  // The not-updatable bit and the answer bytes can change between runs.
  std::array<std::uint8_t, 8>& vendorStatus() { return config_.vendorStatus; }

  // Arming resets the request count the plan's numbers refer to.
  void armFaults(FaultPlan plan);
  void clearFaults() { armFaults(FaultPlan{}); }
  const FaultPlan& faults() const { return faults_; }

  const std::vector<RequestRecord>& requestLog() const { return log_; }
  void clearLog() { log_.clear(); }
  // Also writes each request into the transcript as a "device ..." line.
  bool traceRequests = false;

  std::shared_ptr<DeviceObject> open(Process& caller, const std::string& name,
                                     platform::DWORD access,
                                     platform::DWORD shareMode,
                                     platform::DWORD creation,
                                     platform::DWORD flags,
                                     platform::DWORD* error) override;

  // The reader's part of a request, for its channels.
  enum class ChannelKind { PhysicalDrive, VxdDrive, UpdateDriver };
  struct Route {
    ChannelKind kind;
    int slot;  // for the drive kinds
    unsigned generation;
    std::string name;
    bool exclusive = false;  // a physical drive opened with share mode 0
  };
  platform::BOOL serve(Process& caller, const Route& route,
                       platform::DWORD code, void* in, platform::DWORD inSize,
                       void* out, platform::DWORD outSize,
                       platform::DWORD* returned, platform::DWORD* error);
  // The slot that holds `letter` now, if any.
  std::optional<int> slotOfLetter(char letter) const;
  unsigned generation() const { return generation_; }
  void channelClosed(const Route& route);

  // One SCSI command to a slot: the answer's status, data and sense.
  struct ScsiAnswer {
    std::uint8_t status = 0;
    std::size_t length = 0;
    std::array<std::uint8_t, 18> sense{};
  };
  ScsiAnswer scsiCommand(int slot, const std::uint8_t* cdb, std::uint8_t* data,
                         std::size_t allocation);

 private:
  struct Identity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
  };
  void enumerate();
  void leaveBus();
  void addLetters();
  void removeLetters();
  void afterPowerLoss();
  bool normalModeUp() const;
  DriverBinding defaultBinding() const;

  RequestKind classify(const Route& route, platform::DWORD code,
                       const void* in, platform::DWORD inSize,
                       RequestRecord& record) const;
  bool applyFaults(RequestRecord& record, platform::DWORD* error);
  platform::BOOL dispatch(const Route& route, RequestRecord& record,
                          platform::DWORD code, void* in,
                          platform::DWORD inSize, void* out,
                          platform::DWORD outSize, platform::DWORD* returned,
                          platform::DWORD* error);
  platform::BOOL controlTransfer(RequestRecord& record, void* in,
                                 platform::DWORD inSize, void* out,
                                 platform::DWORD outSize,
                                 platform::DWORD* returned,
                                 platform::DWORD* error);
  ReaderFirmware::Answer answerControl(RequestRecord& record,
                                       std::uint8_t* buffer);

  SimPc& pc_;
  ReaderConfig config_;
  ReaderFirmware firmware_;
  std::shared_ptr<bool> alive_;
  bool plugged_ = false;
  DriverBinding binding_ = DriverBinding::Normal;
  Identity identity_;
  unsigned generation_ = 0;
  std::vector<char> letters_;         // per slot, 0 when it has none
  struct SlotOpens {
    int all = 0;
    int exclusive = 0;
  };
  std::vector<SlotOpens> opens_;  // per slot, this enumeration
  FaultPlan faults_;
  int requests_ = 0;
  int sinceArmed_ = 0;
  std::vector<RequestRecord> log_;
};

// The answer of a disk that is not a card reader (the PC's own drives).
CardReader::ScsiAnswer genericDiskScsi(platform::UINT driveType,
                                       const std::uint8_t* cdb,
                                       std::uint8_t* data,
                                       std::size_t allocation);

}  // namespace sim
