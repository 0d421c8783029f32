#include "shell/updater_app.h"

#include "framework/app.h"
#include "resources/string_ids.h"
#include "shell/pending_calls.h"
#include "shell/reader_variant.h"
#include "shell/small_dialogs.h"
#include "shell/update_dialog.h"

namespace norbix {

using namespace platform;

UpdaterApp::UpdaterApp(Platform& platform, SharedState& state)
    : App(platform), state_(state) {
  store(state_.isX64Windows, 0);
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!platform.kernel.getVersionExA(&version)) return;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    store(state_.isWin9x, 1);
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    store(state_.isWin9x, 0);
    // Only the minor version decides: every NT release x.2 counts as the
    // 64-bit XP family.
    if (version.dwMinorVersion == 2) store(state_.isX64Windows, 1);
  }
}

bool UpdaterApp::takeInstanceLock() {
  Kernel& kernel = platform().kernel;
  instanceLock_ = kernel.createMutexA(1, exeName().c_str());
  // Read the error right after the call: only a fresh answer counts.
  return kernel.getLastError() != ERROR_ALREADY_EXISTS;
}

void UpdaterApp::showUpdateFileError() {
  Ui& ui = platform().ui;
  std::string text = framework::loadString(ui, kStrUpdateFileErrorText);
  std::string caption = framework::loadString(ui, kStrUpdateFileErrorCaption);
  ui.messageBoxA(0, text.c_str(), caption.c_str(), MB_OK | MB_ICONHAND);
}

bool UpdaterApp::loadUpdateFiles() {
  Kernel& kernel = platform().kernel;
  FindDataA found{};
  Handle search = kernel.findFirstFileA("*.DFU", &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  for (int slot = 0; slot < kMaxUpdateFiles; ++slot) {
    if (slot > 0 && !kernel.findNextFileA(search, &found)) break;
    const char* name = found.cFileName;
    // With two files the second one's name decides.
    store(state_.readerVariant, readerVariantFromName(name));
    if (!checkUpdateFile(kernel, name, updateFileImages[slot])) {
      ok = false;
      break;
    }
    updateFileNames[slot] = name;
    ++updateFileCount;
  }
  kernel.findClose(search);
  return ok;
}

void UpdaterApp::powerOff() {
  // Results are not looked at: on Windows 98/Me the token calls fail and
  // the power-off request is made all the same.
  Security& security = platform().security;
  Handle token = 0;
  BOOL opened = security.openProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  security.lookupPrivilegeValueA(nullptr, "SeShutdownPrivilege",
                                 &privileges.Privileges[0].Luid);
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  security.adjustTokenPrivileges(token, 0, &privileges);
  platform().ui.exitWindowsEx(EWX_POWEROFF | EWX_FORCE, 0);
  if (opened) platform().kernel.closeHandle(token);
}

void UpdaterApp::restoreDrivers() {
  // Waits for the driver restore: nothing is staged yet, so there is
  // nothing to put back.
}

void UpdaterApp::releaseUpdateFileImages() {
  if (imagesReleased_) return;
  imagesReleased_ = true;
  for (int i = 0; i < kMaxUpdateFiles; ++i) {
    retiredImages_[i] = std::move(updateFileImages[i]);
  }
}

void UpdaterApp::runMainDialog() {
  UpdateDialog dialog(*this);
  mainWindow = &dialog;
  dialog.runModal();
  mainWindow = nullptr;
  discardQuitMessage();
}

void UpdaterApp::discardQuitMessage() {
  // The worker ends the main dialog with a quit message, which the modal
  // loop leaves in the queue for the next one; nothing modal after it (a
  // message box of the driver restore) may see it.
  MSG message{};
  while (platform().dialogs.peekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

bool UpdaterApp::initInstance() {
  if (!takeInstanceLock()) return false;
  store(state_.shutdownRequested, 0);
  updateFileCount = 0;
  if (!loadUpdateFiles()) {
    showUpdateFileError();
    return false;
  }
  AttentionDialog attention(platform());
  if (attention.runModal() != IDOK) return false;
  stageUpdateDriver(*this);
  runMainDialog();
  platform().kernel.releaseMutex(instanceLock_);
  restoreDrivers();
  if (load(state_.shutdownRequested) == 1) powerOff();
  return false;
}

DWORD runUpdater(Platform& platform,
                 const std::function<void(UpdaterApp&)>& atEnd) {
  SharedState state;
  UpdaterApp app(platform, state);
  app.initInstance();
  if (atEnd) atEnd(app);
  return 0;
}

}  // namespace norbix
