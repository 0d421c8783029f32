// The updater's main window. It shows what is known about the attached
// reader and the update files, starts the device watch thread when it opens
// and the update worker on Start Update, and turns device-change
// notifications into presence tests of the reader.
//
// The watch thread, the identification and the worker write the members and
// controls below from their own threads: every shared member is a relaxed
// atomic, written whole, and each reader tolerates the old or the new value.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "framework/dialog.h"
#include "framework/thread.h"
#include "shell/shared_state.h"

namespace norbix {

class FinishDialog;
class UpdateDialog;
class UpdaterApp;

using SharedWord = std::atomic<std::uint16_t>;

// The parameter block of a worker thread: the thread ends (or, for the
// worker, skips the finish dialog) once `stop` is non-zero.
struct ThreadBlock {
  std::atomic<UpdateDialog*> dialog{nullptr};
  SharedInt stop{0};
  framework::WorkerThread thread;
};

class UpdateDialog : public framework::Dialog {
 public:
  explicit UpdateDialog(UpdaterApp& app);

  // Flag 0: the state display. Flag 1: the reader identification.
  bool showReaderInfo(int flag);
  // The update files' versions into control 1005; true when every image
  // held a version text.
  bool showFileVersions();

  SharedInt finishCloseSent{0};
  std::atomic<FinishDialog*> finishDialog{nullptr};
  SharedInt readerEventsHeld{0};
  SharedWord deviceFirmwareVersion{0};
  SharedWord fileFirmwareVersions[2] = {};
  ThreadBlock workerBlock;  // stop is `workerStop`
  ThreadBlock watchBlock;   // stop is `watchStop`
  SharedInt updateStarted{0};
  SharedInt readerPresent{0};
  SharedInt updateFilesOk{0};
  UpdaterApp* application = nullptr;
  framework::Control readerVersion;  // 1002
  framework::Control statusLine;     // 1010
  SharedWord deviceVendorId{0};
  SharedWord deviceProductId{0};
  SharedWord fileProductIds[2] = {};
  framework::Control fileVersion;  // 1005
  std::string referPath;           // edit 1008
  platform::HICON icon = 0;
  platform::HDEVNOTIFY notification = 0;

  UpdaterApp& app() { return app_; }
  SharedState& state();

 protected:
  bool onInitDialog() override;
  void onOK() override;
  void onCancel() override;
  bool onCommand(int id, platform::UINT code) override;
  bool onClose() override;
  bool onSysCommand(platform::WPARAM command) override;
  platform::HBRUSH onCtlColor(platform::HDC dc, platform::HWND control) override;
  bool onPaint() override;
  platform::HICON onQueryDragIcon() override { return icon; }
  bool onDeviceChange(platform::WPARAM event, platform::LPARAM data,
                      platform::LRESULT* result) override;
  bool onQueryEndSession(platform::LRESULT* result) override;

 private:
  std::string text(platform::UINT id);
  void addAboutItem();
  void setIcons();
  void resetMembers();
  void registerForDevices();
  void checkUpdateFiles();
  void startThread(ThreadBlock& block, platform::ThreadProc proc);
  void showStateTexts(std::int32_t state);
  void startUpdate();
  void end(platform::INT_PTR result);
  bool readerAnswers();
  void devNodesChanged();
  void removalReset();
  void referTo();
  void transferToControls();

  UpdaterApp& app_;
};

}  // namespace norbix
