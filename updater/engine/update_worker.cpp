#include "engine/update_worker.h"

#include <cstring>

#include "device/channel.h"
#include "engine/accepted_ids.h"
#include "engine/block_transfer.h"
#include "engine/last_eeprom.h"
#include "engine/reader_commands.h"
#include "framework/app.h"
#include "package/package_io.h"
#include "resources/string_ids.h"
#include "shell/small_dialogs.h"
#include "shell/update_dialog.h"
#include "shell/updater_app.h"

namespace norbix {

using namespace platform;

namespace {

// Catalog texts of the update run.
constexpr UINT kTextRemoveCable = 107;
constexpr UINT kTextReconnectCable = 108;
constexpr UINT kCaptionError = 109;
constexpr UINT kTextNotAReaderForUpdating = 110;
constexpr UINT kTextSavedIdsDoNotFit = 113;
constexpr UINT kTextNotTheLastReader = 114;
constexpr UINT kCaptionAccessError = 121;
constexpr UINT kTextAccessError = 122;
constexpr UINT kCaptionReadError = 123;
constexpr UINT kTextReadError = 124;
constexpr UINT kCaptionNeedless = 125;
constexpr UINT kTextNeedless = 126;
constexpr UINT kCaptionWriteError = 127;
constexpr UINT kTextWriteError = 128;
constexpr UINT kCaptionVerifyError = 129;
constexpr UINT kTextVerifyError = 130;
constexpr UINT kCaptionEepromError = 131;
constexpr UINT kTextEepromError = 133;
constexpr UINT kTextUpdating = 161;
constexpr UINT kTextTerminated = 163;
constexpr UINT kTextShutdownFollows = 166;

constexpr int kAttempts = 5;
constexpr int kOpens = 5;

// The fixed waits of a run.
constexpr DWORD kBeforeDriverSwitchMs = 1000;
constexpr DWORD kBeforeSecondParameterMs = 1000;
constexpr DWORD kAfterPreUpdateMs = 2000;
constexpr DWORD kAfterFailedChannelMs = 300;
constexpr DWORD kReplugPollMs = 300;
constexpr DWORD kAfterUnplugMs = 1000;
constexpr DWORD kAfterReplugMs = 500;
constexpr DWORD kBeforeKeyCleanupMs = 3000;

constexpr std::size_t kIdentityImageOffset = 0xFE82;

// The driver switch (mode 1) and the device-key cleanup (mode 0) of the
// driver restore run here on NT-family Windows; until the restore exists
// they do nothing, and the progress bar misses the 30 steps they move it.
void runDriverToolPending(UpdateDialog& /*dialog*/, int /*mode*/) {}

std::uint16_t wordAt(const std::uint8_t* bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// One run of the worker. Steps are named as the sequence runs them; each
// attempt step says where the run goes next.
class UpdateRun {
 public:
  UpdateRun(ThreadBlock& block, UpdateDialog& dialog)
      : block_(block),
        dialog_(dialog),
        app_(dialog.app()),
        state_(app_.state()),
        platform_(dialog.platform()) {
    // The worker's requests travel on a channel of its own: the
    // device-change handler replaces readerHandle whenever a device node
    // changes, and closes what it stored there.
    channel_.readerHandle.store(INVALID_HANDLE_VALUE, std::memory_order_relaxed);
  }

  void run() {
    start();
    if (registryTest()) attempts();
    end();
  }

 private:
  enum class Next { Go, Replug, NextAttempt, End };

  void start();
  bool registryTest();
  void attempts();
  Next attempt();
  bool openChannel();
  void setUpChannel();
  Next configurationBlock();
  Next takeDatFile();
  void save();
  void prepare();
  Next compare();
  Next download();
  bool refusesDevice();
  void verify();
  void replug();
  void end();
  void closeOwnChannel();

  void status(UINT id) { dialog_.statusLine.setText(text(id)); }
  std::string text(UINT id) { return framework::loadString(platform_.ui, id); }
  void box(UINT caption, UINT textId) {
    dialog_.messageBox(text(textId), text(caption), MB_OK | MB_ICONHAND);
  }
  int progressPosition() {
    return static_cast<int>(platform_.ui.sendMessageA(progressControl_, PBM_GETPOS, 0, 0));
  }
  void setProgress(int position) {
    platform_.ui.sendMessageA(progressControl_, PBM_SETPOS,
                              static_cast<WPARAM>(position), 0);
  }
  void sleep(DWORD ms) { platform_.kernel.sleep(ms); }
  bool nt() const { return load(state_.isWin9x) == 0; }
  void fail() { store(state_.updateSucceeded, 0); }
  std::uint8_t* image() {
    return app_.updateFileImages[load(app_.selectedFileIndex)].get();
  }
  const char* imageName() {
    return app_.updateFileNames[load(app_.selectedFileIndex)].c_str();
  }

  ThreadBlock& block_;
  UpdateDialog& dialog_;
  UpdaterApp& app_;
  SharedState& state_;
  Platform& platform_;
  // What the request functions read: the worker's channel and isWin9x.
  SharedState channel_;
  HWND progressControl_ = 0;
  bool restoreMode_ = false;
  EepromBlock savedCopy_{};
  int attemptsLeft_ = kAttempts;
  int pos0_ = 0;
  int pos_ = 0;
  bool descriptorRead_ = false;
  std::uint16_t readerVendorId_ = 0;
  std::uint16_t readerProductId_ = 0;
  // Once this run has read the reader's own block, a later attempt that
  // finds the default identity (a download cut short) keeps it: the dat
  // file's block would otherwise replace the reader's identity text, and
  // the saved copy with it.
  bool holdsOwnBlock_ = false;
  EepromBlock ownBlock_{};
};

void UpdateRun::start() {
  progressControl_ = dialog_.item(kCtlProgress).hwnd();
  store(block_.stop, 0);
  store(state_.updateSucceeded, 1);
  store(state_.updateState, kStateUpdating);
  store(state_.savedUpdateState, 1);
  store(state_.readerAttached, 1);
  store(state_.firmwareAlreadyCurrent, 0);
  store(channel_.isWin9x, load(state_.isWin9x));
  restoreMode_ = false;
}

// False when the saved copy rules the run out before any attempt.
bool UpdateRun::registryTest() {
  if (!readLastEeprom(platform_.registry, savedCopy_)) return true;
  if (!isRestorableCopy(savedCopy_)) return true;
  restoreMode_ = true;
  const std::uint16_t vendorId = state_.connectedVendorId.load(std::memory_order_relaxed);
  const std::uint16_t productId = state_.connectedProductId.load(std::memory_order_relaxed);
  if (showsDefaultIdentity(vendorId, productId)) return true;
  if (savedCopy_.vendorId() != vendorId || savedCopy_.productId() != productId) {
    box(kCaptionError, kTextNotTheLastReader);
    fail();
    return false;
  }
  if (!fitsAcceptedReaderIds(load(state_.readerVariant), savedCopy_.vendorId(),
                             savedCopy_.productId())) {
    fail();
    box(kCaptionError, kTextSavedIdsDoNotFit);
    return false;
  }
  return true;
}

void UpdateRun::attempts() {
  pos0_ = progressPosition();
  // A failure on the last attempt always ends the run with its message, so
  // the counter never runs out here.
  for (attemptsLeft_ = kAttempts; attemptsLeft_ > 0; --attemptsLeft_) {
    Next next = attempt();
    if (next == Next::End) return;
    if (next == Next::Replug) replug();
  }
}

UpdateRun::Next UpdateRun::attempt() {
  if (!openChannel()) return Next::End;
  setUpChannel();
  // Before the block is read: an unfit device's block must not replace
  // the saved copy either.
  if (refusesDevice()) return Next::End;
  Next next = configurationBlock();
  if (next != Next::Go) return next;
  prepare();
  return compare();
}

bool UpdateRun::openChannel() {
  for (int opensLeft = kOpens;;) {
    setProgress(pos0_);
    if (nt()) {
      sleep(kBeforeDriverSwitchMs);
      status(kTextUpdating);
      runDriverToolPending(dialog_, 1);
    }
    store(state_.updateSucceeded, 1);
    // A channel of an earlier open is ours alone; nothing else closes it.
    closeOwnChannel();
    bool opened = openUpdateDriver(platform_.kernel, channel_.readerHandle) == 1;
    if (opened && load(state_.updateState) <= kStateUpdating) return true;
    if (!opened && opensLeft == 1) {
      box(kCaptionAccessError, kTextAccessError);
      fail();
      return false;
    }
    if (--opensLeft == 0) {
      // Five opens found the reader judged unfit (state 4 or 5) every
      // time: no firmware goes to it.
      closeOwnChannel();
      fail();
      return false;
    }
  }
}

void UpdateRun::setUpChannel() {
  Kernel& kernel = platform_.kernel;
  pos_ = progressPosition();
  if (!setDriverParameter(kernel, channel_)) {
    sleep(kBeforeSecondParameterMs);
    setDriverParameter(kernel, channel_);  // the outcome does not matter
  }
  std::uint8_t descriptor[kDeviceDescriptorSize] = {};
  descriptorRead_ = getDeviceDescriptor(kernel, channel_, descriptor) == 1;
  readerVendorId_ = wordAt(descriptor, 8);
  readerProductId_ = wordAt(descriptor, 10);
}

UpdateRun::Next UpdateRun::configurationBlock() {
  EepromBlock& eeprom = state_.eepromData;
  if (showsDefaultIdentity(readerVendorId_, readerProductId_)) {
    if (!restoreMode_) return takeDatFile();
    eeprom = savedCopy_;
    return Next::Go;
  }
  std::memset(eeprom.bytes, 0, sizeof eeprom.bytes);
  std::uint8_t request[kEepromRequestSize] = {};
  if (!readEepromBlock(platform_.kernel, channel_, request)) {
    fail();
    if (attemptsLeft_ > 1) return Next::NextAttempt;
    box(kCaptionEepromError, kTextEepromError);
    return Next::End;
  }
  std::memcpy(eeprom.bytes, request + ControlRequest::kSetupSize, EepromBlock::kSize);
  if (restoreMode_) return Next::Go;
  if (!eeprom.isValid()) return takeDatFile();
  holdsOwnBlock_ = true;
  ownBlock_ = eeprom;
  save();
  return Next::Go;
}

UpdateRun::Next UpdateRun::takeDatFile() {
  EepromBlock& eeprom = state_.eepromData;
  if (holdsOwnBlock_) {
    eeprom = ownBlock_;
  } else {
    readDatFile(platform_.kernel, eeprom, imageName());
  }
  store(state_.updateSucceeded, 1);
  if (!restoreMode_) save();
  return Next::Go;
}

void UpdateRun::save() { saveLastEeprom(platform_.registry, state_.eepromData); }

void UpdateRun::prepare() {
  setProgress(pos_);
  sendPreUpdateRequest(platform_.kernel, channel_);  // the outcome does not matter
  sleep(kAfterPreUpdateMs);
}

UpdateRun::Next UpdateRun::compare() {
  status(kTextUpdating);
  int e = compareFirmware(platform_, channel_, progressControl_, image());
  if (e == kCompareEqual) {
    // In restore mode the image is written again: the earlier run may have
    // left the firmware but not its configuration block.
    if (restoreMode_) return download();
    box(kCaptionNeedless, kTextNeedless);
    deleteLastEepromKey(platform_.registry);
    fail();
    store(state_.firmwareAlreadyCurrent, 1);
    return Next::End;
  }
  if (e == kCompareRequestFailed) {
    if (attemptsLeft_ == 1) {
      box(kCaptionReadError, kTextReadError);
      fail();
      return Next::End;
    }
    closeOwnChannel();
    sleep(kAfterFailedChannelMs);
    return Next::Replug;
  }
  return download();
}

UpdateRun::Next UpdateRun::download() {
  // The reconnect check may have cleared updateSucceeded meanwhile.
  if (load(state_.updateSucceeded) == 0) return Next::End;
  // A verdict of the reconnect check may have come in since the setup.
  if (refusesDevice()) return Next::End;
  status(kTextUpdating);
  const EepromBlock& eeprom = state_.eepromData;
  std::memcpy(image() + kIdentityImageOffset, eeprom.bytes + EepromBlock::kIdentityOffset,
              EepromBlock::kIdentitySize);
  int w = downloadFirmware(platform_, channel_, progressControl_, image());
  if (w != kDownloadDone) {
    if (attemptsLeft_ > 1) return Next::Replug;  // the channel stays open
    box(kCaptionWriteError, kTextWriteError);
    fail();
    return Next::End;
  }
  if (load(state_.updateSucceeded) == 1) verify();
  return Next::End;
}

// No firmware goes to a device that the identification or the reconnect
// check judged unfit, nor to one whose own descriptor shows ids that are
// neither the default identity nor ids of this variant.
bool UpdateRun::refusesDevice() {
  if (load(state_.readerJudgedUnfit) != 0) {
    // The check has told the user already.
    fail();
    return true;
  }
  if (!descriptorRead_ || showsDefaultIdentity(readerVendorId_, readerProductId_) ||
      fitsAcceptedReaderIds(load(state_.readerVariant), readerVendorId_,
                            readerProductId_)) {
    return false;
  }
  box(kCaptionError, kTextNotAReaderForUpdating);
  fail();
  return true;
}

void UpdateRun::verify() {
  status(kTextUpdating);
  int v = compareFirmware(platform_, channel_, progressControl_, image());
  if (v == kCompareRequestFailed) {
    box(kCaptionReadError, kTextReadError);
    fail();
  } else if (v == kCompareDiffers) {
    box(kCaptionVerifyError, kTextVerifyError);
    fail();
  } else {
    deleteLastEepromKey(platform_.registry);
  }
}

void UpdateRun::replug() {
  // Both waits are for the user and have no end of their own: the reader
  // comes back when the user plugs it in, or the user closes the program.
  status(kTextRemoveCable);
  store(dialog_.readerEventsHeld, 1);
  while (load(state_.readerAttached) == 1) sleep(kReplugPollMs);
  store(dialog_.readerEventsHeld, 0);
  sleep(kAfterUnplugMs);
  status(kTextReconnectCable);
  while (load(state_.readerAttached) == 0) sleep(kReplugPollMs);
  sleep(kAfterReplugMs);
}

void UpdateRun::closeOwnChannel() {
  closeChannel(platform_.kernel, channel_.readerHandle.load(std::memory_order_relaxed));
  channel_.readerHandle.store(INVALID_HANDLE_VALUE, std::memory_order_relaxed);
}

void UpdateRun::end() {
  closeOwnChannel();
  store(state_.updateState, kStateFinished);
  if (nt()) {
    sleep(kBeforeKeyCleanupMs);
    runDriverToolPending(dialog_, 0);
  }
  framework::Control endButton = dialog_.item(IDOK);
  endButton.enable(true);
  endButton.focus();
  dialog_.item(kCtlProgress).show(false);
  status(kStrClickEnd);
  if (load(block_.stop) != 0) return;
  FinishDialog finish(platform_, state_);
  dialog_.finishDialog.store(&finish, std::memory_order_relaxed);
  finish.runModal();
  dialog_.showReaderInfo(0);
  bool result = load(state_.updateSucceeded) != 0 || load(state_.firmwareAlreadyCurrent) != 0;
  UINT last = !result ? kTextTerminated
              : load(state_.shutdownRequested) == 1 ? kTextShutdownFollows
                                                    : kStrClickEnd;
  status(last);
  // The quit message ends the main dialog, and the parameter block and
  // finishDialog live in it: both are settled before it is posted.
  dialog_.finishDialog.store(nullptr, std::memory_order_relaxed);
  store(block_.stop, 1);
  platform_.ui.postMessageA(dialog_.hwnd(), WM_QUIT, 0, 0);
}

}  // namespace

DWORD updateWorker(void* workerBlock) {
  auto& block = *static_cast<ThreadBlock*>(workerBlock);
  UpdateRun run(block, *block.dialog.load(std::memory_order_relaxed));
  run.run();
  return 1;
}

}  // namespace norbix
