// The update run on a simulated PC: a reader bound to the update driver
// (the update INF in place, as staging leaves it), the main dialog put where
// the identification leaves it (reader found, its ids recorded, slot 0
// picked, Start Update enabled), and a user who presses Start, answers every
// box, and unplugs and replugs the reader when the status line asks for it.
// Until the watch thread and the identification exist, this fixture plays
// their part from outside the program.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/eeprom_block.h"
#include "resources/string_ids.h"
#include "scenario/scenario_events.h"
#include "shell/update_dialog.h"
#include "shell/updater_app.h"
#include "sim/card_reader.h"
#include "sim/filesystem.h"
#include "sim/registry.h"
#include "sim/scheduler.h"
#include "sim/transcript.h"
#include "sim/windows.h"
#include "sim_program.h"
#include "simkit/scenario.h"
#include "testkit/update_file_maker.h"

namespace updatetest {

inline constexpr std::uint16_t kVendorId = 0x2E51;  // variant 2 (no code in the name)
inline constexpr std::uint16_t kProductId = 0x2201;
inline constexpr const char* kUpdateFileName = "UPDATE.DFU";
inline constexpr const char* kDatFileName = "UPDATE.DAT";
inline constexpr const char* kReaderIdentity = "0123456789AB";  // the reader's own
inline constexpr const char* kImageIdentity = "000000000001";
inline constexpr const char* kDatIdentity = "DDDDDDDDDDDD";
inline constexpr std::size_t kConfigBegin = 0xFE80;
inline constexpr std::size_t kConfigEnd = 0xFF80;
inline constexpr std::size_t kReaderDataBegin = 0x400;
inline constexpr std::size_t kReaderDataEnd = 0x700;
inline constexpr std::size_t kFirmwareBytes = 65534;

inline const char kRegistryKey[] = "Software\\VELDANIX\\Norbix";
inline const char kRegistryValue[] = "Last EEPROM Data";

// Status-line texts as the transcript writes them.
inline const char kStatusRemove[] =
    "text 102.1010 \"Card reader are reset. Please remove the USB cable.\"";
inline const char kStatusReconnect[] = "text 102.1010 \"Please re-connect the USB cable.\"";
inline const char kStatusUpdating[] = "text 102.1010 \"Updating .....\"";
inline const char kStatusClickEnd[] = "text 102.1010 \"Click the [End] button.\"";

inline std::vector<std::uint8_t> makeImage(const std::string& version, std::uint32_t seed,
                                           const std::string& identity = kImageIdentity) {
  norbix::testkit::UpdateFileOptions options;
  options.seed = seed;
  options.versionText = version;
  options.vendorId = kVendorId;
  options.productId = kProductId;
  options.identity = identity;
  return norbix::testkit::makeUpdateFile(options);
}

inline norbix::EepromBlock configOf(const std::vector<std::uint8_t>& image) {
  norbix::EepromBlock block{};
  std::copy_n(image.begin() + kConfigBegin, norbix::EepromBlock::kSize, block.bytes);
  return block;
}

inline norbix::EepromBlock withIdentity(norbix::EepromBlock block, const char* identity) {
  block.setIdentityText(identity);
  return block;
}

// A dat file that supplies all 256 values.
inline std::string datText(const norbix::EepromBlock& block) {
  std::string text;
  char line[8];
  for (std::uint8_t b : block.bytes) {
    std::snprintf(line, sizeof line, "%02X\r\n", b);
    text += line;
  }
  return text;
}

struct BenchOptions {
  sim::WindowsVersion os = sim::WindowsVersion::WinXP;
  bool datFile = false;
  // The reader's firmware before the update; the image is version 2.05.
  std::string readerVersion = "2.01";
  // The reader already holds the image's firmware.
  bool readerHasImage = false;
  // False: a download was cut short, the reader shows the default identity.
  bool readerIntact = true;
  std::uint16_t readerVendorId = kVendorId;
  std::uint16_t readerProductId = kProductId;
  // Where the identification leaves connectedVendorId/ProductId; the
  // reader's own ids when empty.
  std::optional<std::pair<std::uint16_t, std::uint16_t>> connectedIds;
  std::string finishAnswer = "shutdown";
  // Whether the user replugs the reader when the status line asks.
  bool replugWhenAsked = true;
  // Called for every transcript line, after the fixture's own handling.
  std::function<void(const std::string& line)> onLine;
  // Called right after the fixture has played the identification.
  std::function<void(norbix::UpdaterApp&, norbix::UpdateDialog&)> afterIdentify;
};

// What one updater run left in its shared values when it ended by itself.
struct RunRecord {
  bool ended = false;  // false: the process was cut off (a power loss)
  std::int32_t updateSucceeded = 0;
  std::int32_t firmwareAlreadyCurrent = 0;
  std::int32_t updateState = 0;
  // Only a worker that reached its end has a result: a run abandoned in a
  // replug wait still holds updateSucceeded 1.
  bool verifiedOrCurrent() const {
    return ended && updateState == norbix::kStateFinished &&
           (updateSucceeded != 0 || firmwareAlreadyCurrent != 0);
  }
};

class UpdateBench {
 public:
  explicit UpdateBench(BenchOptions options = {})
      : options_(std::move(options)),
        folder_(makeEmptyFolder()),
        image_(makeImage("2.05", 7)),
        scenario_(scenarioOptions()) {
    loadedConfig_ = configOf(image_);
    if (options_.datFile) loadedConfig_ = withIdentity(loadedConfig_, kDatIdentity);
    ownBlock_ = withIdentity(configOf(image_), kReaderIdentity);
    ownBlock_.setVendorId(options_.readerVendorId);
    ownBlock_.setProductId(options_.readerProductId);
    stageUpdateDriver();
    installUpdater();
    sim::ReaderConfig config;
    config.firmware = options_.readerHasImage ? image_ : makeImage(options_.readerVersion, 3);
    config.firmwareIntact = options_.readerIntact;
    std::copy_n(ownBlock_.bytes, norbix::EepromBlock::kSize, config.eeprom.begin());
    reader_ = std::make_unique<sim::CardReader>(pc(), config);
    reader_->traceRequests = true;
    reader_->plug();
    pc().transcript().echo = [this](const std::string& line) { onLine(line); };
  }
  ~UpdateBench() {
    pc().transcript().echo = nullptr;
    reader_.reset();
    ::rmdir(folder_.c_str());
  }

  sim::SimPc& pc() { return scenario_.pc(); }
  sim::CardReader& reader() { return *reader_; }
  const std::vector<std::string>& lines() { return scenario_.transcript(); }
  // The image as the updater loads it (dat values merged).
  const std::vector<std::uint8_t>& image() const { return image_; }
  const norbix::EepromBlock& ownBlock() const { return ownBlock_; }
  // The configuration region the updater's image carries after loading.
  const norbix::EepromBlock& loadedConfig() const { return loadedConfig_; }
  const std::vector<RunRecord>& runs() const { return runs_; }
  // Every request line with whether the saved copy existed when it was sent.
  struct RequestSeen {
    std::string line;
    bool saved;
    bool own;  // the saved copy is the reader's own block
  };
  const std::vector<RequestSeen>& requestsSeen() const { return requestsSeen_; }
  // The updater run in progress, or null.
  norbix::UpdaterApp* runningApp() { return running_; }
  // Lines at which the saved copy was not the reader's own block.
  const std::vector<std::string>& foreignCopies() const { return foreignCopies_; }

  std::optional<std::vector<std::uint8_t>> savedCopy() {
    auto v = pc().registry().value(platform::HKEY_CURRENT_USER, kRegistryKey, kRegistryValue);
    if (!v) return std::nullopt;
    return v->data;
  }
  bool savedKeyExists() {
    return pc().registry().exists(platform::HKEY_CURRENT_USER, kRegistryKey);
  }
  void setSavedCopy(const norbix::EepromBlock& block) {
    pc().registry().setValue(platform::HKEY_CURRENT_USER, kRegistryKey, kRegistryValue,
                             platform::REG_BINARY,
                             std::vector<platform::BYTE>(block.bytes, block.bytes + 256));
  }

  // Starts the updater, lets the fixture identify the reader and press
  // Start, and runs the PC until every process has ended (or it is stuck,
  // or `limit` virtual ms have passed).
  sim::RunEnd runUpdater(sim::Millis limit = 3600 * 1000) {
    runs_.push_back({});
    scenario_.startUpdater();
    sim::RunEnd end = pc().run(pc().scheduler().now() + limit);
    if (end != sim::RunEnd::Finished) {
      pc().transcript().add(pc().scheduler().now(), "",
                            end == sim::RunEnd::Stuck ? "note stuck" : "note time-limit");
    }
    return end;
  }

  // The reader's firmware equals the image outside the reader's own data
  // and the configuration region.
  bool readerHoldsImage() const {
    const auto& memory = reader_->firmware().memory();
    for (std::size_t i = 0; i < kFirmwareBytes; ++i) {
      bool skipped = (i >= kReaderDataBegin && i < kReaderDataEnd) ||
                     (i >= kConfigBegin && i < kConfigEnd);
      if (!skipped && memory[i] != image_[i]) return false;
    }
    return true;
  }
  // The image's configuration region carrying the reader's identity text.
  norbix::EepromBlock expectedEeprom() const {
    return withIdentity(loadedConfig_, kReaderIdentity);
  }
  bool eepromIs(const norbix::EepromBlock& block) const {
    return std::equal(block.bytes, block.bytes + 256, reader_->firmware().eeprom().begin());
  }
  std::string readerIdentity() const {
    norbix::EepromBlock block{};
    std::copy_n(reader_->firmware().eeprom().begin(), 256, block.bytes);
    char text[13];
    block.identityText(text);
    return text;
  }

 private:
  static std::string makeEmptyFolder() {
    char pattern[] = "/tmp/norbix-update-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? made : "/tmp";
  }

  simkit::ScenarioOptions scenarioOptions() {
    simkit::ScenarioOptions o;
    o.os = options_.os;
    o.folder = folder_;
    o.files.push_back({kUpdateFileName, std::string(image_.begin(), image_.end())});
    if (options_.datFile) {
      norbix::EepromBlock dat = withIdentity(configOf(image_), kDatIdentity);
      o.files.push_back({kDatFileName, datText(dat)});
    }
    o.answers = {{"attention", "ok"}, {"box", "ok"}, {"finish", options_.finishAnswer}};
    return o;
  }

  void stageUpdateDriver() {
    sim::FileSystem& files = pc().files();
    files.makeFolder(pc().windowsFolder() + "\\INF");
    files.writeFile(pc().windowsFolder() + "\\INF\\zandef.inf", "[Version]\r\n");
  }

  // Norbix.exe as the scenario installs it, but with this fixture playing the
  // identification once the main dialog is up.
  void installUpdater() {
    pc().installProgram(
        "Norbix.exe",
        [this](platform::Platform& platform) -> platform::DWORD {
          norbix::SharedState state;
          norbix::UpdaterApp app(platform, state);
          running_ = &app;
          struct Clear {
            UpdaterApp*& slot;
            ~Clear() { slot = nullptr; }
          } clear{running_};
          identifyWhenShown(&app, 0);
          app.initInstance();
          RunRecord& record = runs_.back();
          record.ended = true;
          record.updateSucceeded = norbix::load(state.updateSucceeded);
          record.firmwareAlreadyCurrent = norbix::load(state.firmwareAlreadyCurrent);
          record.updateState = norbix::load(state.updateState);
          return 0;
        },
        norbix::updaterStrings(), norbix::updaterDialogs());
  }

  using UpdaterApp = norbix::UpdaterApp;

  void identifyWhenShown(UpdaterApp* app, int tries) {
    if (tries > 600) return;
    pc().scheduler().addTimer(pc().scheduler().now() + 100, [this, app, tries] {
      if (running_ != app) return;  // that run has ended
      auto* dialog = static_cast<norbix::UpdateDialog*>(app->mainWindow);
      if (dialog == nullptr || dialog->hwnd() == 0) {
        identifyWhenShown(app, tries + 1);
        return;
      }
      identify(*app, *dialog);
    });
  }

  // What showReaderInfo(1) leaves for a reader of this variant.
  void identify(UpdaterApp& app, norbix::UpdateDialog& dialog) {
    norbix::SharedState& s = app.state();
    auto ids = options_.connectedIds.value_or(
        std::make_pair(reader_->vendorId(), reader_->productId()));
    s.connectedVendorId.store(ids.first);
    s.connectedProductId.store(ids.second);
    dialog.deviceVendorId = ids.first;
    dialog.deviceProductId = ids.second;
    dialog.deviceFirmwareVersion = reader_->bcdDevice();
    norbix::store(s.updateState, norbix::kStateReaderFound);
    norbix::store(app.selectedFileIndex, 0);
    norbix::store(dialog.readerPresent, 1);
    dialog.item(norbix::kCtlStartUpdate).enable(true);
    pc().user().script().actions.push_back({pc().scheduler().now() + 1000, "start"});
    if (options_.afterIdentify) options_.afterIdentify(app, dialog);
  }

  void onLine(const std::string& line) {
    checkSavedCopy(line);
    if (line.find(" device ZANDEF") != std::string::npos) {
      auto copy = savedCopy();
      requestsSeen_.push_back({line, copy.has_value(), copy && isOwn(*copy)});
    }
    if (options_.replugWhenAsked) replugWhenAsked(line);
    if (options_.onLine) options_.onLine(line);
  }

  void replugWhenAsked(const std::string& line) {
    sim::Millis now = pc().scheduler().now();
    if (line.find(kStatusRemove) != std::string::npos) {
      if (reader_->plugged()) reader_->unplugAt(now + 2000);
    } else if (line.find(kStatusReconnect) != std::string::npos) {
      // Asked to reconnect a cable that is in: out and in again.
      if (reader_->plugged()) reader_->unplugAt(now + 1000);
      reader_->plugAt(now + 2000);
    }
  }

  // Whenever the saved copy exists it is the reader's own block.
  void checkSavedCopy(const std::string& line) {
    auto copy = savedCopy();
    if (!copy) return;
    if (!isOwn(*copy)) foreignCopies_.push_back(line);
  }
  bool isOwn(const std::vector<std::uint8_t>& copy) const {
    return copy.size() == 256 && std::equal(copy.begin(), copy.end(), ownBlock_.bytes);
  }

  BenchOptions options_;
  std::string folder_;
  std::vector<std::uint8_t> image_;
  simkit::Scenario scenario_;
  norbix::EepromBlock loadedConfig_{};
  norbix::EepromBlock ownBlock_{};
  std::unique_ptr<sim::CardReader> reader_;
  UpdaterApp* running_ = nullptr;
  std::vector<RunRecord> runs_;
  std::vector<std::string> foreignCopies_;
  std::vector<RequestSeen> requestsSeen_;
};

}  // namespace updatetest

namespace updatetest {

// The events (without times) that start with `prefix`.
inline std::vector<std::string> eventsStarting(const std::vector<std::string>& lines,
                                               const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& e : scenariotest::events(lines)) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  }
  return out;
}

inline std::vector<sim::RequestKind> requestKinds(const sim::CardReader& reader) {
  std::vector<sim::RequestKind> kinds;
  for (const auto& r : reader.requestLog()) kinds.push_back(r.kind);
  return kinds;
}

// The requests of one attempt that runs through: setup, block, pre-update,
// comparison, download (16 blocks and the empty one), verification.
inline std::vector<sim::RequestKind> fullAttemptKinds() {
  using K = sim::RequestKind;
  std::vector<K> kinds = {K::DriverParameter, K::GetDescriptor, K::ReadEeprom, K::PreUpdate};
  auto comparison = [&kinds] {
    kinds.push_back(K::DfuGetState);
    for (int b = 0; b < 16; ++b) kinds.push_back(K::DfuUpload);
    kinds.push_back(K::DfuGetState);
    kinds.push_back(K::DfuGetStatus);
  };
  comparison();
  kinds.push_back(K::DfuGetState);
  for (int b = 0; b <= 16; ++b) {
    kinds.push_back(K::DfuDownload);
    kinds.push_back(K::DfuGetStatus);
    kinds.push_back(K::DfuGetStatus);
  }
  comparison();
  return kinds;
}

inline std::string statusEvent(const std::string& text) {
  return "text 102.1010 \"" + text + "\"";
}

// A catalog text (English) as the transcript writes it.
inline std::string catalogText(platform::UINT id) {
  for (const sim::StringResource& r : norbix::updaterStrings()) {
    if (r.id == id) return sim::escapeText(r.english, 1252);
  }
  return "?";
}

inline std::string boxEvent(platform::UINT caption, platform::UINT text) {
  return "msgbox \"" + catalogText(caption) + "\" \"" + catalogText(text) + "\" hand -> ok";
}

inline int countOf(const std::vector<std::string>& lines, const std::string& event) {
  auto all = scenariotest::events(lines);
  return static_cast<int>(std::count(all.begin(), all.end(), event));
}

inline int countKind(const sim::CardReader& reader, sim::RequestKind kind) {
  auto kinds = requestKinds(reader);
  return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind));
}

}  // namespace updatetest
