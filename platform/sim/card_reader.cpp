#include "card_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/reader_protocol.h"
#include "filesystem.h"
#include "platform/devio.h"
#include "platform/kernel.h"
#include "process.h"
#include "transcript.h"

namespace sim {

using namespace platform;
namespace protocol = norbix::protocol;

namespace {

using ScsiFn = std::function<std::optional<CardReader::ScsiAnswer>(
    const std::uint8_t* cdb, std::uint8_t* data, std::size_t allocation)>;

void putText(std::uint8_t* at, const std::string& text, std::size_t width) {
  std::memset(at, ' ', width);
  std::memcpy(at, text.data(), std::min(text.size(), width));
}

std::string upper(std::string text) { return upperAscii(std::move(text)); }

// A DeviceIoControl that fails with `code`.
BOOL refuse(DWORD* error, DWORD code) {
  *error = code;
  return 0;
}

// --- SCSI pass-through, as the port driver handles it -------------------

BOOL passThrough(void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned, DWORD* error, const ScsiFn& scsi,
                 RequestOutcome* outcome) {
  *outcome = RequestOutcome::Invalid;
  if (in == nullptr || out == nullptr || inSize < sizeof(SCSI_PASS_THROUGH32) ||
      outSize < sizeof(SCSI_PASS_THROUGH32)) {
    return refuse(error, ERROR_INVALID_PARAMETER);
  }
  // METHOD_BUFFERED: the driver works on a copy of the input that is as
  // large as the larger buffer, and only the bytes it reports come back.
  std::vector<std::uint8_t> system(std::max(inSize, outSize), 0);
  std::memcpy(system.data(), in, inSize);
  SCSI_PASS_THROUGH32 spt;
  std::memcpy(&spt, system.data(), sizeof spt);
  const std::uint64_t dataEnd =
      std::uint64_t{spt.DataBufferOffset} + spt.DataTransferLength;
  const std::uint64_t senseEnd =
      std::uint64_t{spt.SenseInfoOffset} + spt.SenseInfoLength;
  if (spt.Length != sizeof(SCSI_PASS_THROUGH32) || spt.CdbLength == 0 ||
      spt.CdbLength > sizeof spt.Cdb ||
      (spt.DataTransferLength > 0 &&
       (spt.DataIn != SCSI_IOCTL_DATA_IN || dataEnd > outSize)) ||
      (spt.SenseInfoLength > 0 && senseEnd > outSize)) {
    return refuse(error, ERROR_INVALID_PARAMETER);
  }
  std::vector<std::uint8_t> data(spt.DataTransferLength, 0);
  auto answer = scsi(spt.Cdb, data.data(), data.size());
  if (!answer) return refuse(error, ERROR_INVALID_FUNCTION);
  std::uint64_t information = sizeof spt;
  if (spt.DataTransferLength > 0) {
    std::memcpy(system.data() + spt.DataBufferOffset, data.data(), answer->length);
    information = std::uint64_t{spt.DataBufferOffset} + answer->length;
  }
  spt.ScsiStatus = answer->status;
  spt.DataTransferLength = static_cast<DWORD>(answer->length);
  if (answer->status == SCSISTAT_CHECK_CONDITION && spt.SenseInfoLength > 0) {
    std::size_t n = std::min<std::size_t>(spt.SenseInfoLength, answer->sense.size());
    std::memcpy(system.data() + spt.SenseInfoOffset, answer->sense.data(), n);
    spt.SenseInfoLength = static_cast<BYTE>(n);
    information = std::max(information, std::uint64_t{spt.SenseInfoOffset} + n);
  }
  std::memcpy(system.data(), &spt, sizeof spt);
  information = std::min<std::uint64_t>(information, outSize);
  std::memcpy(out, system.data(), static_cast<std::size_t>(information));
  *returned = static_cast<DWORD>(information);
  *outcome = RequestOutcome::Ok;
  return 1;
}

// --- The utility VxD's request --------------------------------------------

struct Mapping {
  std::uintptr_t low;
  std::uintptr_t high;
};

// The process's writable mappings of at most 1 GiB: sanitizer shadow
// memory, which is writable and terabytes large, is never a candidate.
std::vector<Mapping> writableMappings() {
  std::vector<Mapping> mappings;
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return mappings;
  char line[512];
  while (std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long long low = 0, high = 0;
    char perms[8] = {};
    if (std::sscanf(line, "%llx-%llx %7s", &low, &high, perms) == 3 &&
        perms[0] == 'r' && perms[1] == 'w' && high - low <= (1ull << 30)) {
      mappings.push_back({static_cast<std::uintptr_t>(low),
                          static_cast<std::uintptr_t>(high)});
    }
  }
  std::fclose(maps);
  return mappings;
}

const Mapping* mappingOf(const std::vector<Mapping>& mappings, std::uintptr_t p,
                         std::size_t length) {
  for (const Mapping& m : mappings) {
    if (p >= m.low && p < m.high && length <= m.high - p) return &m;
  }
  return nullptr;
}

// The request carries the caller's buffer as a 32-bit address, the whole
// pointer for the 32-bit programs of Windows 98/Me. A 64-bit host keeps the
// request as it is and looks for the buffer: first in the mapping that
// holds the request block itself (the caller's stack, where the updater
// keeps its answer buffers), else at the one place in the process where
// those 32 bits name writable memory. An address that fits several places
// is refused rather than guessed.
std::uint8_t* resolveAddress32(std::uint32_t address, std::size_t length,
                               const void* request) {
  if constexpr (sizeof(void*) == 4) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
  } else {
    constexpr std::uintptr_t kLow = 0xFFFFFFFFu;
    if (address == 0) return nullptr;
    length = std::max<std::size_t>(length, 1);
    const std::vector<Mapping> mappings = writableMappings();
    const auto anchor = reinterpret_cast<std::uintptr_t>(request);
    const std::uintptr_t near = (anchor & ~kLow) | address;
    if (const Mapping* home = mappingOf(mappings, anchor, 1)) {
      if (near >= home->low && near < home->high && length <= home->high - near) {
        return reinterpret_cast<std::uint8_t*>(near);
      }
    }
    std::vector<std::uintptr_t> found;
    for (const Mapping& m : mappings) {
      for (std::uintptr_t window = m.low >> 32; window <= (m.high - 1) >> 32; ++window) {
        std::uintptr_t candidate = (window << 32) | address;
        if (mappingOf(mappings, candidate, length) &&
            std::find(found.begin(), found.end(), candidate) == found.end()) {
          found.push_back(candidate);
        }
      }
    }
    return found.size() == 1 ? reinterpret_cast<std::uint8_t*>(found[0]) : nullptr;
  }
}

constexpr std::size_t kVxdRequestSize =
    sizeof(protocol::VxdRequestHead) + sizeof(SCSI_REQUEST_BLOCK32);

BOOL vxdRequest(void* in, DWORD inSize, void* out, DWORD outSize,
                DWORD* returned, DWORD* error, const ScsiFn& scsi,
                RequestOutcome* outcome) {
  *outcome = RequestOutcome::Invalid;
  if (in == nullptr || out == nullptr || inSize < kVxdRequestSize ||
      outSize < kVxdRequestSize) {
    return refuse(error, ERROR_INVALID_PARAMETER);
  }
  std::uint8_t request[kVxdRequestSize];
  std::memcpy(request, in, sizeof request);
  SCSI_REQUEST_BLOCK32 srb;
  std::memcpy(&srb, request + sizeof(protocol::VxdRequestHead), sizeof srb);
  if (srb.Length != sizeof srb || srb.Function != SRB_FUNCTION_EXECUTE_SCSI ||
      srb.CdbLength == 0 || srb.CdbLength > sizeof srb.Cdb) {
    srb.SrbStatus = SRB_STATUS_INVALID_REQUEST;
  } else {
    std::uint8_t* target = nullptr;
    if (srb.DataTransferLength > 0) {
      target = resolveAddress32(srb.DataBuffer, srb.DataTransferLength, in);
      if (target == nullptr) return refuse(error, ERROR_INVALID_PARAMETER);
    }
    std::vector<std::uint8_t> data(srb.DataTransferLength, 0);
    auto answer = scsi(srb.Cdb, data.data(), data.size());
    if (!answer) return refuse(error, ERROR_INVALID_FUNCTION);
    if (answer->length > 0) std::memcpy(target, data.data(), answer->length);
    // The sense area is left alone: the VxD reports the status only.
    srb.SrbStatus = answer->status == SCSISTAT_GOOD ? SRB_STATUS_SUCCESS
                                                    : SRB_STATUS_ERROR;
    srb.ScsiStatus = answer->status;
    srb.DataTransferLength = static_cast<DWORD>(answer->length);
  }
  std::memcpy(request + sizeof(protocol::VxdRequestHead), &srb, sizeof srb);
  std::memcpy(out, request, sizeof request);
  *returned = sizeof request;
  *outcome = RequestOutcome::Ok;
  return 1;
}

// --- Channels -------------------------------------------------------------

// A handle to one of the reader's devices. It outlives neither the reader's
// enumeration (requests then fail as on a removed device) nor the reader.
class ReaderChannel : public DeviceObject {
 public:
  ReaderChannel(CardReader& reader, std::shared_ptr<bool> alive,
                CardReader::Route route)
      : reader_(reader), alive_(std::move(alive)), route_(std::move(route)) {}
  ~ReaderChannel() override {
    if (*alive_) reader_.channelClosed(route_);
  }
  BOOL deviceIoControl(Process& caller, DWORD code, void* in, DWORD inSize,
                       void* out, DWORD outSize, DWORD* returned,
                       DWORD* error) override {
    if (!*alive_) return refuse(error, ERROR_DEVICE_NOT_CONNECTED);
    return reader_.serve(caller, route_, code, in, inSize, out, outSize,
                         returned, error);
  }

 private:
  CardReader& reader_;
  std::shared_ptr<bool> alive_;
  CardReader::Route route_;
};

// One of the PC's own disks through its physical drive.
class DiskChannel : public DeviceObject {
 public:
  explicit DiskChannel(UINT driveType) : driveType_(driveType) {}
  BOOL deviceIoControl(Process&, DWORD code, void* in, DWORD inSize, void* out,
                       DWORD outSize, DWORD* returned, DWORD* error) override {
    if (code != IOCTL_SCSI_PASS_THROUGH) return refuse(error, ERROR_INVALID_FUNCTION);
    RequestOutcome outcome;
    UINT type = driveType_;
    return passThrough(in, inSize, out, outSize, returned, error,
                       [type](const std::uint8_t* cdb, std::uint8_t* data,
                              std::size_t allocation) {
                         return std::optional<CardReader::ScsiAnswer>(
                             genericDiskScsi(type, cdb, data, allocation));
                       },
                       &outcome);
  }

 private:
  UINT driveType_;
};

// The utility VxD: each request names the drive it is for.
class VxdChannel : public DeviceObject {
 public:
  BOOL deviceIoControl(Process& caller, DWORD code, void* in, DWORD inSize,
                       void* out, DWORD outSize, DWORD* returned,
                       DWORD* error) override {
    if (code != protocol::kVxdScsiRequestCode) {
      return refuse(error, ERROR_INVALID_FUNCTION);
    }
    if (in == nullptr || inSize < sizeof(protocol::VxdRequestHead)) {
      return refuse(error, ERROR_INVALID_PARAMETER);
    }
    protocol::VxdRequestHead head;
    std::memcpy(&head, in, sizeof head);
    if (head.driveNumber > 25) return refuse(error, ERROR_INVALID_PARAMETER);
    const char letter = static_cast<char>('A' + head.driveNumber);
    for (DeviceProvider* provider : caller.pc().deviceProviders()) {
      auto* reader = dynamic_cast<CardReader*>(provider);
      if (reader == nullptr) continue;
      if (auto slot = reader->slotOfLetter(letter)) {
        CardReader::Route route{CardReader::ChannelKind::VxdDrive, *slot,
                                reader->generation(),
                                std::string("ZANUTL1.VXD ") + letter + ":"};
        return reader->serve(caller, route, code, in, inSize, out, outSize,
                             returned, error);
      }
    }
    UINT type = caller.pc().files().driveType(letter);
    if (type == DRIVE_NO_ROOT_DIR) return refuse(error, ERROR_NOT_READY);
    RequestOutcome outcome;
    return vxdRequest(in, inSize, out, outSize, returned, error,
                      [type](const std::uint8_t* cdb, std::uint8_t* data,
                             std::size_t allocation) {
                        return std::optional<CardReader::ScsiAnswer>(
                            genericDiskScsi(type, cdb, data, allocation));
                      },
                      &outcome);
  }
};

// The letter behind physical drive `number` under `layout`.
std::optional<char> letterOfPhysicalDrive(const FileSystem& files, int number,
                                          PhysicalDriveLayout layout) {
  std::vector<char> letters;
  for (const DriveSpec& d : files.drives()) {
    bool counts = layout == PhysicalDriveLayout::EveryLetter
                      ? d.type >= DRIVE_REMOVABLE && d.type <= DRIVE_RAMDISK
                      : d.type == DRIVE_REMOVABLE || d.type == DRIVE_FIXED;
    if (counts) letters.push_back(d.letter);
  }
  std::sort(letters.begin(), letters.end());
  if (number < 0 || number >= static_cast<int>(letters.size())) return std::nullopt;
  return letters[static_cast<std::size_t>(number)];
}

// "PHYSICALDRIVE12" gives 12; anything else nothing.
std::optional<int> physicalDriveNumber(const std::string& upperName) {
  static constexpr char kPrefix[] = "PHYSICALDRIVE";
  constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
  if (upperName.compare(0, kPrefixLength, kPrefix) != 0) return std::nullopt;
  std::string digits = upperName.substr(kPrefixLength);
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return std::stoi(digits);
}

bool vxdFilePresent(Process& caller) {
  FileSystem& files = caller.pc().files();
  std::string image = caller.imagePath();
  std::string own = image.substr(0, image.find_last_of('\\'));
  for (const std::string& folder :
       {own, caller.currentFolder(), caller.pc().systemFolder()}) {
    if (files.existingHostPath(folder + "\\ZANUTL1.VXD")) return true;
  }
  return false;
}

std::uint16_t word(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

}  // namespace

// --- The reader -------------------------------------------------------------

CardReader::CardReader(SimPc& pc, ReaderConfig config)
    : pc_(pc), config_(std::move(config)), alive_(std::make_shared<bool>(true)) {
  std::vector<std::uint8_t>& memory = firmware_.memory();
  std::copy_n(config_.firmware.begin(),
              std::min(config_.firmware.size(), memory.size()), memory.begin());
  for (std::size_t i = protocol::kReaderDataBegin; i < protocol::kReaderDataEnd; ++i) {
    memory[i] = static_cast<std::uint8_t>(i * 31 + config_.serial * 17 + 0x5A);
  }
  std::copy(config_.eeprom.begin(), config_.eeprom.end(),
            memory.begin() + protocol::kConfigRegionBegin);
  firmware_.eeprom() = config_.eeprom;
  firmware_.setIntact(config_.firmwareIntact);
  letters_.assign(config_.slots.size(), 0);
  opens_.assign(config_.slots.size(), SlotOpens{});
  pc_.addDeviceProvider(this);
  std::weak_ptr<bool> alive = alive_;
  pc_.onPowerLoss.push_back([this, alive] {
    if (auto flag = alive.lock(); flag && *flag) afterPowerLoss();
  });
}

CardReader::~CardReader() {
  *alive_ = false;
  removeLetters();
  pc_.removeDeviceProvider(this);
}

DriverBinding CardReader::defaultBinding() const {
  std::string inf = pc_.windowsFolder() + "\\INF\\zandef.inf";
  return pc_.files().existingHostPath(inf) ? DriverBinding::UpdateDriver
                                           : DriverBinding::Normal;
}

bool CardReader::showsDefaultIdentity() const {
  return identity_.vendorId == protocol::kDefaultVendorId ||
         identity_.productId == protocol::kDefaultProductId;
}

std::string CardReader::deviceInterface() const {
  char text[64];
  std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X\\%08u",
                identity_.vendorId, identity_.productId,
                static_cast<unsigned>(config_.serial));
  return text;
}

std::vector<char> CardReader::driveLetters() const {
  std::vector<char> present;
  for (char letter : letters_) {
    if (letter != 0) present.push_back(letter);
  }
  return present;
}

std::optional<int> CardReader::slotOfLetter(char letter) const {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (std::size_t i = 0; i < letters_.size(); ++i) {
    if (letters_[i] != 0 && letters_[i] == letter) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool CardReader::normalModeUp() const {
  return plugged_ && binding_ == DriverBinding::Normal && firmware_.intact();
}

void CardReader::addLetters() {
  for (std::size_t i = 0; i < config_.slots.size(); ++i) {
    DriveSpec drive{config_.slots[i].letter, DRIVE_REMOVABLE};
    letters_[i] = pc_.files().addDrive(drive) ? drive.letter : 0;
  }
}

void CardReader::removeLetters() {
  for (char& letter : letters_) {
    if (letter != 0) pc_.files().removeDrive(letter);
    letter = 0;
  }
}

void CardReader::enumerate() {
  ++generation_;
  firmware_.reset();
  opens_.assign(config_.slots.size(), SlotOpens{});
  binding_ = bindingRule ? bindingRule() : defaultBinding();
  if (firmware_.intact()) {
    identity_.vendorId = word(firmware_.eeprom().data() + 26);
    identity_.productId = word(firmware_.eeprom().data() + 28);
    identity_.bcdDevice = firmwareVersion(firmware_.memory());
  } else {
    identity_ = {protocol::kDefaultVendorId, protocol::kDefaultProductId, 0};
  }
  if (normalModeUp()) addLetters();
}

void CardReader::leaveBus() {
  removeLetters();
  ++generation_;
  firmware_.reset();
  pc_.broadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE, deviceInterface());
  pc_.broadcastDeviceChange(DBT_DEVNODES_CHANGED, "");
}

void CardReader::plug() {
  if (plugged_) return;
  plugged_ = true;
  enumerate();
  pc_.transcript().add(pc_.scheduler().now(), "",
                       "device plugged " + deviceInterface());
  pc_.broadcastDeviceChange(DBT_DEVICEARRIVAL, deviceInterface());
  pc_.broadcastDeviceChange(DBT_DEVNODES_CHANGED, "");
}

void CardReader::unplug() {
  if (!plugged_) return;
  plugged_ = false;
  pc_.transcript().add(pc_.scheduler().now(), "",
                       "device unplugged " + deviceInterface());
  leaveBus();
}

void CardReader::plugAt(Millis at) {
  std::weak_ptr<bool> alive = alive_;
  pc_.scheduler().addTimer(at, [this, alive] {
    if (auto flag = alive.lock(); flag && *flag) plug();
  });
}

void CardReader::unplugAt(Millis at) {
  std::weak_ptr<bool> alive = alive_;
  pc_.scheduler().addTimer(at, [this, alive] {
    if (auto flag = alive.lock(); flag && *flag) unplug();
  });
}

void CardReader::reenumerate() {
  if (!plugged_) return;
  leaveBus();
  enumerate();
  pc_.broadcastDeviceChange(DBT_DEVICEARRIVAL, deviceInterface());
  pc_.broadcastDeviceChange(DBT_DEVNODES_CHANGED, "");
}

void CardReader::afterPowerLoss() {
  // The reader loses its power with the PC and enumerates again when the
  // PC comes back; a download cut short leaves the default identity.
  if (!plugged_) {
    firmware_.reset();
    return;
  }
  reenumerate();
}

void CardReader::armFaults(FaultPlan plan) {
  faults_ = std::move(plan);
  sinceArmed_ = 0;
}

void CardReader::channelClosed(const Route& route) {
  // Handles of an earlier enumeration no longer count: that disk is gone.
  if (route.kind != ChannelKind::PhysicalDrive || route.generation != generation_) {
    return;
  }
  SlotOpens& opens = opens_[static_cast<std::size_t>(route.slot)];
  if (opens.all > 0) --opens.all;
  if (route.exclusive && opens.exclusive > 0) --opens.exclusive;
}

std::shared_ptr<DeviceObject> CardReader::open(Process& caller,
                                               const std::string& name,
                                               DWORD /*access*/, DWORD shareMode,
                                               DWORD creation, DWORD flags,
                                               DWORD* error) {
  const std::string device = upper(name);
  *error = ERROR_FILE_NOT_FOUND;
  if (device == "ZANUTL1.VXD") {
    // Windows 98/Me load a dynamic VxD from its file, and only under the
    // delete-on-close flag; NT has no VxDs at all.
    if (pc_.nt() || !(flags & FILE_FLAG_DELETE_ON_CLOSE) || !vxdFilePresent(caller)) {
      return nullptr;
    }
    return std::make_shared<VxdChannel>();
  }
  if (device == "ZANDEF" + std::to_string(config_.updateDriverNumber)) {
    if (!plugged_ || binding_ != DriverBinding::UpdateDriver) return nullptr;
    if (creation != OPEN_EXISTING) {
      *error = ERROR_INVALID_PARAMETER;
      return nullptr;
    }
    Route route{ChannelKind::UpdateDriver, -1, generation_,
                "ZANDEF" + std::to_string(config_.updateDriverNumber)};
    return std::make_shared<ReaderChannel>(*this, alive_, route);
  }
  auto number = physicalDriveNumber(device);
  if (!number || !pc_.nt()) return nullptr;
  auto letter = letterOfPhysicalDrive(pc_.files(), *number, config_.layout);
  if (!letter) return nullptr;
  auto slot = slotOfLetter(*letter);
  if (!slot) {
    // Another reader's slot is that reader's to open.
    for (DeviceProvider* provider : pc_.deviceProviders()) {
      auto* other = dynamic_cast<CardReader*>(provider);
      if (other != nullptr && other != this && other->slotOfLetter(*letter)) {
        return nullptr;
      }
    }
  }
  if (!pc_.config().administrator) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (creation != OPEN_EXISTING) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (!slot) return std::make_shared<DiskChannel>(pc_.files().driveType(*letter));
  // Share mode 0 asks for exclusive use: it conflicts with any other open
  // of the same disk, and any open conflicts with an exclusive one.
  SlotOpens& opens = opens_[static_cast<std::size_t>(*slot)];
  const bool exclusive =
      (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0;
  if (opens.exclusive > 0 || (exclusive && opens.all > 0)) {
    *error = ERROR_SHARING_VIOLATION;
    return nullptr;
  }
  ++opens.all;
  if (exclusive) ++opens.exclusive;
  Route route{ChannelKind::PhysicalDrive, *slot, generation_,
              "PHYSICALDRIVE" + std::to_string(*number), exclusive};
  return std::make_shared<ReaderChannel>(*this, alive_, route);
}

RequestKind CardReader::classify(const Route& route, DWORD code, const void* in,
                                 DWORD inSize, RequestRecord& record) const {
  const auto* bytes = static_cast<const std::uint8_t*>(in);
  auto scsiKind = [&](std::size_t cdbOffset) {
    if (bytes == nullptr || inSize < cdbOffset + 12) return RequestKind::ScsiOther;
    std::memcpy(record.command.data(), bytes + cdbOffset, 12);
    record.commandLength = 12;
    switch (record.command[0]) {
      case SCSIOP_REQUEST_SENSE:
        return RequestKind::ScsiRequestSense;
      case SCSIOP_INQUIRY:
        return RequestKind::ScsiInquiry;
      case protocol::kVendorStatusOpcode:
        return RequestKind::ScsiVendorStatus;
      default:
        return RequestKind::ScsiOther;
    }
  };
  if (code == IOCTL_SCSI_PASS_THROUGH) {
    return scsiKind(offsetof(SCSI_PASS_THROUGH32, Cdb));
  }
  if (code == protocol::kVxdScsiRequestCode) {
    return scsiKind(sizeof(protocol::VxdRequestHead) +
                    offsetof(SCSI_REQUEST_BLOCK32, Cdb));
  }
  if (route.kind != ChannelKind::UpdateDriver) return RequestKind::Unsupported;
  if (code == protocol::kDriverParameterCode) {
    if (bytes != nullptr && inSize >= 1) {
      record.command[0] = bytes[0];
      record.commandLength = 1;
    }
    return RequestKind::DriverParameter;
  }
  if (code != protocol::kControlTransferCode) return RequestKind::Unsupported;
  if (bytes == nullptr || inSize < protocol::kSetupPacketSize) {
    return RequestKind::ControlOther;
  }
  std::memcpy(record.command.data(), bytes, protocol::kSetupPacketSize);
  record.commandLength = protocol::kSetupPacketSize;
  const std::uint8_t type = record.bmRequestType();
  const std::uint8_t request = record.bRequest();
  const BYTE classIn = USB_DIR_IN | USB_TYPE_CLASS | USB_RECIP_INTERFACE;
  const BYTE classOut = USB_TYPE_CLASS | USB_RECIP_INTERFACE;
  const BYTE vendorIn = USB_DIR_IN | USB_TYPE_VENDOR | USB_RECIP_DEVICE;
  const BYTE vendorOut = USB_TYPE_VENDOR | USB_RECIP_DEVICE;
  if (type == USB_DIR_IN && request == USB_REQUEST_GET_DESCRIPTOR) {
    return RequestKind::GetDescriptor;
  }
  if (type == classIn && request == DFU_GETSTATE) return RequestKind::DfuGetState;
  if (type == classIn && request == DFU_GETSTATUS) return RequestKind::DfuGetStatus;
  if (type == classIn && request == DFU_UPLOAD) return RequestKind::DfuUpload;
  if (type == classOut && request == DFU_DNLOAD) return RequestKind::DfuDownload;
  if (type == classIn || type == classOut) return RequestKind::DfuOther;
  if (type == vendorIn && request == protocol::kReadEepromRequest) {
    return RequestKind::ReadEeprom;
  }
  if (type == vendorOut && request == protocol::kPreUpdateRequest &&
      record.wValue() == protocol::kPreUpdateValue) {
    return RequestKind::PreUpdate;
  }
  return RequestKind::ControlOther;
}

bool CardReader::applyFaults(RequestRecord& record, DWORD* error) {
  const int n = record.sinceArmed;
  if (faults_.powerLossAtRequest == n) {
    record.outcome = RequestOutcome::PowerLoss;
    *error = ERROR_DEVICE_NOT_CONNECTED;
    pc_.powerLoss();
    return true;
  }
  if (faults_.unplugAtRequest == n) {
    record.outcome = RequestOutcome::Unplugged;
    *error = ERROR_DEVICE_NOT_CONNECTED;
    unplug();
    return true;
  }
  bool fail = faults_.failRequest == n ||
              std::find(faults_.failKinds.begin(), faults_.failKinds.end(),
                        record.kind) != faults_.failKinds.end();
  for (const FaultPlan::BlockFault& f : faults_.failBlocks) {
    if (f.kind == record.kind && record.commandLength == protocol::kSetupPacketSize &&
        record.wValue() == f.block) {
      fail = true;
    }
  }
  if (!fail) return false;
  record.outcome = RequestOutcome::Fault;
  *error = ERROR_GEN_FAILURE;
  return true;
}

BOOL CardReader::serve(Process& caller, const Route& route, DWORD code, void* in,
                       DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                       DWORD* error) {
  RequestRecord record;
  record.time = pc_.scheduler().now();
  record.channel = route.name;
  record.code = code;
  record.inSize = inSize;
  record.outSize = outSize;
  record.kind = classify(route, code, in, inSize, record);
  DWORD count = 0;
  BOOL ok = 0;
  if (!plugged_ || route.generation != generation_) {
    // The device behind this handle has left the bus; nothing reaches the
    // reader, so nothing is counted either.
    record.outcome = RequestOutcome::NotConnected;
    *error = ERROR_DEVICE_NOT_CONNECTED;
  } else {
    record.number = ++requests_;
    record.sinceArmed = ++sinceArmed_;
    if (!applyFaults(record, error)) {
      ok = dispatch(route, record, code, in, inSize, out, outSize, &count, error);
    }
  }
  if (ok) *returned = count;
  record.returned = ok ? count : 0;
  record.error = ok ? 0 : *error;
  record.dfuState =
      plugged_ && binding_ == DriverBinding::UpdateDriver ? firmware_.state() : -1;
  log_.push_back(record);
  if (traceRequests) caller.log(formatRequest(record));
  return ok;
}

BOOL CardReader::dispatch(const Route& route, RequestRecord& record, DWORD code,
                          void* in, DWORD inSize, void* out, DWORD outSize,
                          DWORD* returned, DWORD* error) {
  const int slot = route.slot;
  ScsiFn scsi;
  if (route.kind == ChannelKind::UpdateDriver) {
    // Under the update driver only the vendor status query gets through
    // to the firmware as a SCSI command.
    scsi = [this](const std::uint8_t* cdb, std::uint8_t* data,
                  std::size_t allocation) -> std::optional<ScsiAnswer> {
      if (cdb[0] != protocol::kVendorStatusOpcode) return std::nullopt;
      return scsiCommand(-1, cdb, data, allocation);
    };
  } else {
    scsi = [this, slot](const std::uint8_t* cdb, std::uint8_t* data,
                        std::size_t allocation) -> std::optional<ScsiAnswer> {
      return scsiCommand(slot, cdb, data, allocation);
    };
  }
  const bool vxdRoute = route.kind == ChannelKind::VxdDrive;
  if (code == IOCTL_SCSI_PASS_THROUGH && !vxdRoute) {
    return passThrough(in, inSize, out, outSize, returned, error, scsi,
                       &record.outcome);
  }
  if (code == protocol::kVxdScsiRequestCode && route.kind != ChannelKind::PhysicalDrive) {
    // The update driver takes the VxD's form too: on Windows 98/Me the
    // reconnect check sends its status query that way.
    return vxdRequest(in, inSize, out, outSize, returned, error, scsi,
                      &record.outcome);
  }
  if (route.kind == ChannelKind::UpdateDriver && code == protocol::kControlTransferCode) {
    return controlTransfer(record, in, inSize, out, outSize, returned, error);
  }
  if (route.kind == ChannelKind::UpdateDriver && code == protocol::kDriverParameterCode) {
    // A setting of the driver itself; the reader sees no transfer.
    if (in == nullptr || inSize < 1) {
      record.outcome = RequestOutcome::Invalid;
      return refuse(error, ERROR_INVALID_PARAMETER);
    }
    record.outcome = RequestOutcome::Ok;
    *returned = 0;
    return 1;
  }
  record.outcome = RequestOutcome::Invalid;
  return refuse(error, ERROR_INVALID_FUNCTION);
}

BOOL CardReader::controlTransfer(RequestRecord& record, void* in, DWORD inSize,
                                 void* out, DWORD outSize, DWORD* returned,
                                 DWORD* error) {
  record.outcome = RequestOutcome::Invalid;
  if (in == nullptr || out == nullptr || inSize < protocol::kSetupPacketSize) {
    return refuse(error, ERROR_INVALID_PARAMETER);
  }
  const bool deviceToHost = (record.bmRequestType() & USB_DIR_IN) != 0;
  const std::size_t need = protocol::kSetupPacketSize + record.wLength();
  if (record.wLength() > protocol::kMaxDataStage || outSize < need ||
      (!deviceToHost && inSize < need)) {
    return refuse(error, ERROR_INVALID_PARAMETER);
  }
  std::vector<std::uint8_t> system(std::max(inSize, outSize), 0);
  std::memcpy(system.data(), in, inSize);
  ReaderFirmware::Answer answer = answerControl(record, system.data());
  if (!answer.ok) {
    record.outcome = RequestOutcome::Stalled;
    return refuse(error, ERROR_GEN_FAILURE);
  }
  const std::size_t information =
      deviceToHost ? protocol::kSetupPacketSize + answer.length : need;
  std::memcpy(out, system.data(), information);
  *returned = static_cast<DWORD>(information);
  record.outcome = RequestOutcome::Ok;
  return 1;
}

ReaderFirmware::Answer CardReader::answerControl(RequestRecord& record,
                                                 std::uint8_t* buffer) {
  std::uint8_t* data = buffer + protocol::kSetupPacketSize;
  const std::size_t wLength = record.wLength();
  const int block = record.wValue();
  switch (record.kind) {
    case RequestKind::GetDescriptor: {
      // A standard request: the USB core answers it in every DFU state, and
      // refusing it leaves the DFU state alone.
      if (record.wValue() != (USB_DEVICE_DESCRIPTOR_TYPE << 8)) return {};
      const std::uint8_t descriptor[USB_DEVICE_DESCRIPTOR_SIZE] = {
          18, USB_DEVICE_DESCRIPTOR_TYPE, 0x00, 0x02, 0, 0, 0, 64,
          static_cast<std::uint8_t>(identity_.vendorId & 0xFF),
          static_cast<std::uint8_t>(identity_.vendorId >> 8),
          static_cast<std::uint8_t>(identity_.productId & 0xFF),
          static_cast<std::uint8_t>(identity_.productId >> 8),
          static_cast<std::uint8_t>(identity_.bcdDevice & 0xFF),
          static_cast<std::uint8_t>(identity_.bcdDevice >> 8), 1, 2, 3, 1};
      std::size_t n = std::min(wLength, sizeof descriptor);
      std::memcpy(data, descriptor, n);
      return {true, n};
    }
    case RequestKind::DfuGetState:
      return firmware_.getState(data, wLength);
    case RequestKind::DfuGetStatus:
      return firmware_.getStatus(data, wLength);
    case RequestKind::DfuUpload:
      return firmware_.upload(block, wLength, data);
    case RequestKind::DfuDownload:
      return firmware_.download(block, data, wLength);
    case RequestKind::DfuOther:
      if (record.bRequest() == DFU_ABORT) return firmware_.abort();
      if (record.bRequest() == DFU_CLRSTATUS) return firmware_.clearStatus();
      return firmware_.stall();
    case RequestKind::ReadEeprom: {
      if (!firmware_.vendorRequestAllowed()) return firmware_.stall();
      if (faults_.eepromUnreadable) return {};
      std::size_t n = std::min(wLength, firmware_.eeprom().size());
      std::memcpy(data, firmware_.eeprom().data(), n);
      return {true, n};
    }
    case RequestKind::PreUpdate:
      if (!firmware_.vendorRequestAllowed()) return firmware_.stall();
      return {true, 0};
    default:
      return firmware_.stall();
  }
}

CardReader::ScsiAnswer CardReader::scsiCommand(int slot, const std::uint8_t* cdb,
                                               std::uint8_t* data,
                                               std::size_t allocation) {
  ScsiAnswer answer;
  const std::size_t asked = std::min<std::size_t>(allocation, cdb[4]);
  switch (cdb[0]) {
    case SCSIOP_INQUIRY: {
      std::uint8_t inquiry[36] = {};
      inquiry[1] = 0x80;  // removable medium
      inquiry[2] = 0x02;
      inquiry[3] = 0x02;
      inquiry[4] = 31;
      putText(inquiry + 8, config_.inquiryVendor, 8);
      const std::string product =
          slot >= 0 ? config_.slots[static_cast<std::size_t>(slot)].product : "";
      putText(inquiry + 16, product, 16);
      putText(inquiry + 32, firmwareVersionText(firmware_.memory()), 4);
      answer.length = std::min({asked, config_.inquiryLength, sizeof inquiry});
      std::memcpy(data, inquiry, answer.length);
      return answer;
    }
    case SCSIOP_REQUEST_SENSE: {
      // Every slot is empty: NOT READY, medium not present.
      std::uint8_t sense[18] = {0x70, 0, SCSI_SENSE_NOT_READY, 0, 0, 0, 0, 10,
                                0,    0, 0, 0, 0x3A, 0, 0, 0, 0, 0};
      answer.length = std::min(asked, sizeof sense);
      std::memcpy(data, sense, answer.length);
      return answer;
    }
    case protocol::kVendorStatusOpcode: {
      std::array<std::uint8_t, 8> status = config_.vendorStatus;
      if (faults_.notUpdatable) {
        status[protocol::kNotUpdatableByte] |= protocol::kNotUpdatableBit;
      }
      answer.length = std::min(asked, status.size());
      std::memcpy(data, status.data(), answer.length);
      return answer;
    }
    default:
      answer.status = SCSISTAT_CHECK_CONDITION;
      answer.sense = {0x70, 0, SCSI_SENSE_ILLEGAL_REQUEST, 0, 0, 0, 0, 10,
                      0,    0, 0, 0, 0x20, 0, 0, 0, 0, 0};
      return answer;
  }
}

CardReader::ScsiAnswer genericDiskScsi(UINT driveType, const std::uint8_t* cdb,
                                       std::uint8_t* data,
                                       std::size_t allocation) {
  CardReader::ScsiAnswer answer;
  const std::size_t asked = std::min<std::size_t>(allocation, cdb[4]);
  if (cdb[0] == SCSIOP_INQUIRY) {
    std::uint8_t inquiry[36] = {};
    inquiry[0] = driveType == DRIVE_CDROM ? 0x05 : 0x00;
    inquiry[1] = driveType == DRIVE_FIXED ? 0x00 : 0x80;
    inquiry[2] = 0x05;
    inquiry[3] = 0x02;
    inquiry[4] = 31;
    putText(inquiry + 8, "GENERIC", 8);
    putText(inquiry + 16, driveType == DRIVE_FIXED ? "FIXED DISK" : "DISK DRIVE", 16);
    putText(inquiry + 32, "1.00", 4);
    answer.length = std::min(asked, sizeof inquiry);
    std::memcpy(data, inquiry, answer.length);
    return answer;
  }
  if (cdb[0] == SCSIOP_REQUEST_SENSE) {
    std::uint8_t sense[18] = {0x70, 0, SCSI_SENSE_NO_SENSE, 0, 0, 0, 0, 10};
    answer.length = std::min(asked, sizeof sense);
    std::memcpy(data, sense, answer.length);
    return answer;
  }
  answer.status = SCSISTAT_CHECK_CONDITION;
  answer.sense = {0x70, 0, SCSI_SENSE_ILLEGAL_REQUEST, 0, 0, 0, 0, 10,
                  0,    0, 0, 0, 0x20, 0, 0, 0, 0, 0};
  return answer;
}

}  // namespace sim
