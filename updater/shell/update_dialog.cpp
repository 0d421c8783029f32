#include "shell/update_dialog.h"

#include <algorithm>

#include "device/channel.h"
#include "framework/app.h"
#include "package/package_io.h"
#include "package/version_text.h"
#include "resources/string_ids.h"
#include "shell/pending_calls.h"
#include "shell/small_dialogs.h"
#include "shell/updater_app.h"

namespace norbix {

using namespace platform;

namespace {

constexpr UINT_PTR kAboutCommand = 0x10;
constexpr int kPresenceAttempts = 3;
constexpr DWORD kPresenceRetryMs = 200;

// Device interface classes of the notification filter.
constexpr GUID kGuidDevclassHdc = {
    0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kGuidDevclassDiskDrive = {
    0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

}  // namespace

UpdateDialog::UpdateDialog(UpdaterApp& app)
    : Dialog(app.platform(), kDialogMain), app_(app) {
  icon = app.platform().dialogs.loadIconA(kIconMain);
}

SharedState& UpdateDialog::state() { return app_.state(); }

std::string UpdateDialog::text(UINT id) {
  return framework::loadString(platform().ui, id);
}

bool UpdateDialog::onInitDialog() {
  addAboutItem();
  setIcons();
  application = &app_;
  readerVersion = item(kCtlReaderVersion);
  statusLine = item(kCtlStatusLine);
  fileVersion = item(kCtlFileVersion);
  resetMembers();
  showReaderInfo(0);
  registerForDevices();
  checkUpdateFiles();
  if (load(state().updateState) == kStateWaiting || load(updateFilesOk) == 0) {
    item(kCtlStartUpdate).enable(false);
  }
  startThread(watchBlock, readerWatchThread);
  return true;
}

void UpdateDialog::addAboutItem() {
  Dialogs& dialogs = platform().dialogs;
  HMENU menu = dialogs.getSystemMenu(hwnd(), 0);
  std::string about = text(kStrAboutMenuItem);
  if (menu == 0 || about.empty()) return;
  dialogs.appendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  dialogs.appendMenuA(menu, MF_STRING, kAboutCommand, about.c_str());
}

void UpdateDialog::setIcons() {
  Ui& ui = platform().ui;
  ui.sendMessageA(hwnd(), WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
  ui.sendMessageA(hwnd(), WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon));
}

void UpdateDialog::resetMembers() {
  SharedState& s = state();
  store(app_.selectedFileIndex, -1);
  deviceFirmwareVersion = 0;
  fileFirmwareVersions[0] = 0;
  fileFirmwareVersions[1] = 0;
  deviceVendorId = 0;
  deviceProductId = 0;
  store(s.readerAttached, 0);
  store(readerPresent, 0);
  store(updateStarted, 0);
  store(readerEventsHeld, 0);
  s.readerDriveNumber.store(0, std::memory_order_relaxed);
  store(s.updateState, kStateWaiting);
  store(s.savedUpdateState, -1);
  store(updateFilesOk, 0);
  store(finishCloseSent, 0);
}

void UpdateDialog::registerForDevices() {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid =
      load(state().isWin9x) ? kGuidDevclassHdc : kGuidDevclassDiskDrive;
  notification = platform().dialogs.registerDeviceNotificationA(
      hwnd(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UpdateDialog::checkUpdateFiles() {
  if (app_.updateFileNames[0].empty() && app_.updateFileNames[1].empty()) return;
  transferToControls();
  if (showFileVersions()) {
    store(updateFilesOk, 1);
    return;
  }
  messageBox(text(kStrUpdateFileErrorText), text(kStrUpdateFileErrorCaption),
             MB_OK | MB_ICONHAND);
  statusLine.setText(text(kStrFilesFailedStatus));
}

void UpdateDialog::transferToControls() { item(kCtlReferPath).setText(referPath); }

void UpdateDialog::startThread(ThreadBlock& block, ThreadProc proc) {
  block.thread = framework::beginThread(platform().kernel, proc, &block,
                                        THREAD_PRIORITY_HIGHEST, true);
  store(block.stop, 0);
  block.dialog = this;
  framework::resumeThread(platform().kernel, block.thread);
}

bool UpdateDialog::showFileVersions() {
  // Without an accepted file only Refer to can have put an image in slot 0;
  // it then counts as the one file.
  std::size_t count = static_cast<std::size_t>(std::clamp(app_.updateFileCount, 0, 2));
  if (count == 0 && app_.updateFileImages[0]) count = 1;
  const std::uint8_t* images[2] = {app_.updateFileImages[0].get(),
                                   app_.updateFileImages[1].get()};
  FileVersion versions[2] = {};
  bool ok = count > 0 && versionPass(images, count, versions);
  for (std::size_t i = 0; i < count; ++i) {
    fileFirmwareVersions[i] = versions[i].number;
    fileProductIds[i] = versions[i].productId;
  }
  char display[256] = {};
  std::string one = text(kStrOneFileVersion);
  std::string two = text(kStrTwoFileVersions);
  if (!ok || !formatVersionDisplay(one.c_str(), two.c_str(), versions, count,
                                   display, sizeof display)) {
    fileVersion.setText(text(kStrUnknownVersion));
    return false;
  }
  fileVersion.setText(display);
  return true;
}

bool UpdateDialog::showReaderInfo(int flag) {
  if (flag == 1) return identifyReader(*this);
  statusLine.setText("");
  readerVersion.show(false);
  showStateTexts(load(state().updateState));
  return true;
}

void UpdateDialog::showStateTexts(std::int32_t updateState) {
  framework::Control readerText = item(kCtlReaderText);
  framework::Control deviceText = item(kCtlDeviceText);
  switch (updateState) {
    case kStateWaiting:
    case kStateUpdating:
    case kStateCannotUpdate:
      readerText.show(false);
      deviceText.show(true);
      deviceText.setText(text(kStrNoReader));
      return;
    case kStateFinished:
    case 3: {  // no Part sets 3; it reads as finished
      deviceText.show(false);
      SharedState& s = state();
      UINT id = load(s.updateSucceeded)          ? kStrUpdateSucceeded
                : load(s.firmwareAlreadyCurrent) ? kStrUpdateNotNeeded
                                                 : kStrUpdateFailed;
      readerText.show(true);
      readerText.setText(text(id));
      return;
    }
    case kStateNotAReader:
      readerText.show(false);
      deviceText.show(true);
      deviceText.setText(text(kStrNotAReader));
      return;
    default:
      readerVersion.show(true);
      readerVersion.setText("");
      return;
  }
}

bool UpdateDialog::onCommand(int id, UINT code) {
  if (id == kCtlStartUpdate && code == BN_CLICKED) {
    startUpdate();
    return true;
  }
  if (id == kCtlReferTo && code == BN_CLICKED) {
    referTo();
    return true;
  }
  return Dialog::onCommand(id, code);
}

void UpdateDialog::startUpdate() {
  item(kCtlStartUpdate).enable(false);
  item(kCtlReferTo).enable(false);
  item(IDOK).enable(false);
  framework::Control progress = item(kCtlProgress);
  progress.show(true);
  progress.send(PBM_SETPOS, 0, 0);
  store(watchBlock.stop, 1);
  startThread(workerBlock, updateWorker);
  store(readerEventsHeld, 1);
  updateStarted.fetch_add(1, std::memory_order_relaxed);
}

void UpdateDialog::end(INT_PTR result) {
  app_.releaseUpdateFileImages();
  store(watchBlock.stop, 1);
  endDialog(result);
}

void UpdateDialog::onOK() { end(IDOK); }

void UpdateDialog::onCancel() { end(IDCANCEL); }

bool UpdateDialog::onClose() {
  if (load(updateStarted) != 0) {
    messageBox(text(kStrCloseWarningText), text(kStrCloseWarningCaption),
               MB_OK | MB_ICONHAND);
  }
  onCancel();
  return true;
}

bool UpdateDialog::readerAnswers() {
  for (int attempt = 0; attempt < kPresenceAttempts; ++attempt) {
    if (attempt > 0) platform().kernel.sleep(kPresenceRetryMs);
    // A handle the variable held before stays open, as it always has.
    if (openUpdateDriver(platform().kernel, state().readerHandle)) return true;
  }
  return false;
}

void UpdateDialog::devNodesChanged() {
  SharedState& s = state();
  if (readerAnswers()) {
    if (load(readerEventsHeld) != 0) return;
    if (load(s.updateState) != kStateFinished) checkAttachedReader(*this);
    if (load(s.updateState) == kStateUpdating && load(s.readerAttached) == 0) {
      store(s.readerAttached, 1);
    }
    return;
  }
  if (load(s.updateState) == kStateUpdating && load(s.readerAttached) == 1) {
    store(s.readerAttached, 0);
    removalReset();
  }
  if (load(s.updateState) != kStateFinished || load(finishCloseSent) != 0) return;
  if (findReaderDrivesNt(*this) != 0) return;
  FinishDialog* finish = finishDialog.load(std::memory_order_relaxed);
  // Nothing to close before the worker has opened the finish dialog.
  if (finish == nullptr || finish->hwnd() == 0) return;
  platform().ui.sendMessageA(finish->hwnd(), WM_CLOSE, 0, 0);
  finishCloseSent.fetch_add(1, std::memory_order_relaxed);
}

bool UpdateDialog::onDeviceChange(WPARAM event, LPARAM data, LRESULT* result) {
  if (event == DBT_DEVNODES_CHANGED) devNodesChanged();
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  bool deviceInterface =
      header != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
  *result = deviceInterface ? 0 : 1;
  return true;
}

void UpdateDialog::removalReset() {
  SharedState& s = state();
  if (load(readerPresent) == 0) return;
  std::int32_t current = load(s.updateState);
  if (current == kStateReaderFound || current == kStateCannotUpdate) {
    store(s.updateState, kStateWaiting);
    current = kStateWaiting;
  }
  bool clearAttached = true;
  if (current <= kStateUpdating && load(s.readerAttached) == 0 &&
      load(updateStarted) == 0) {
    item(kCtlReferTo).enable(true);
    showReaderInfo(0);
    statusLine.setText("");
  } else if (current == kStateFinished) {
    if (load(s.updateSucceeded) != 0) {
      clearAttached = false;
    } else {
      showReaderInfo(0);
      statusLine.setText(text(kStrClickEnd));
    }
  }
  if (clearAttached && load(s.updateState) == kStateUpdating &&
      load(s.readerAttached) == 1) {
    store(s.readerAttached, 0);
  }
  store(readerPresent, 0);
  item(kCtlStartUpdate).enable(false);
}

bool UpdateDialog::onQueryEndSession(LRESULT* result) {
  if (!defaultQueryEndSession()) {
    *result = 0;
    return true;
  }
  app_.restoreDrivers();
  *result = 1;
  return true;
}

bool UpdateDialog::onSysCommand(WPARAM command) {
  if ((command & 0xFFF0) != kAboutCommand) return false;
  AboutDialog about(platform());
  about.runModal();
  return true;
}

HBRUSH UpdateDialog::onCtlColor(HDC dc, HWND control) {
  if (control != statusLine.hwnd()) return 0;
  Dialogs& dialogs = platform().dialogs;
  dialogs.setBkMode(dc, TRANSPARENT);
  dialogs.setTextColor(dc, RGB(0, 0, 255));
  return dialogs.getSysColorBrush(COLOR_BTNFACE);
}

bool UpdateDialog::onPaint() {
  Dialogs& dialogs = platform().dialogs;
  if (!dialogs.isIconic(hwnd())) return false;
  HDC dc = dialogs.beginPaint(hwnd());
  platform().ui.sendMessageA(hwnd(), WM_ICONERASEBKGND, static_cast<WPARAM>(dc), 0);
  RECT client{};
  dialogs.getClientRect(hwnd(), &client);
  int cx = dialogs.getSystemMetrics(SM_CXICON);
  int cy = dialogs.getSystemMetrics(SM_CYICON);
  int x = (client.right - client.left - cx + 1) / 2;
  int y = (client.bottom - client.top - cy + 1) / 2;
  dialogs.drawIcon(dc, x, y, icon);
  dialogs.endPaint(hwnd(), dc);
  return true;
}

void UpdateDialog::referTo() {
  // The filter's '|' separators become the NULs the file dialog wants.
  std::string filter = text(kStrOpenFileFilter);
  std::string separated = filter;
  std::replace(separated.begin(), separated.end(), '|', '\0');
  separated.push_back('\0');
  char path[MAX_PATH] = {};
  OpenFileNameA request{hwnd(), separated.c_str(), path, sizeof path, nullptr,
                        OFN_HIDEREADONLY | OFN_FILEMUSTEXIST};
  if (!platform().dialogs.getOpenFileNameA(&request)) return;
  store(updateFilesOk, 1);
  referPath = path;
  transferToControls();
  bool ok = checkUpdateFile(platform().kernel, referPath.c_str(),
                            app_.updateFileImages[0]) &&
            showFileVersions();
  if (ok) {
    statusLine.setText(filter);
  } else {
    messageBox(text(kStrUpdateFileErrorText), text(kStrUpdateFileErrorCaption),
               MB_OK | MB_ICONHAND);
    store(updateFilesOk, 0);
  }
  std::int32_t s = load(state().updateState);
  bool enable = s >= 0 && s != kStateCannotUpdate && load(updateFilesOk) == 1;
  item(kCtlStartUpdate).enable(enable);
}

}  // namespace norbix
