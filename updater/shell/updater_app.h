// The updater's application object: the Windows-family flags at
// construction and the whole program run in initInstance.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/app.h"
#include "package/package_io.h"
#include "shell/shared_state.h"

namespace norbix {

inline constexpr int kMaxUpdateFiles = 2;

class UpdaterApp : public framework::App {
 public:
  UpdaterApp(platform::Platform& platform, SharedState& state);
  ~UpdaterApp() override = default;

  bool initInstance() override;

  // Puts the drivers back as they were before staging.
  void restoreDrivers();
  // The main dialog is done with the update-file images. A worker thread
  // may still read them, so they stay allocated until the run ends; a
  // second call does nothing.
  void releaseUpdateFileImages();
  bool updateFileImagesReleased() const { return imagesReleased_; }

  SharedState& state() { return state_; }

  SharedInt selectedFileIndex{0};
  std::int32_t updateFileCount = 0;
  ImageSlot updateFileImages[kMaxUpdateFiles];
  std::string updateFileNames[kMaxUpdateFiles];
  // Working texts of the device-key removal's prompt and warning.
  std::string keyRemovalTexts[3];

 private:
  bool takeInstanceLock();
  bool loadUpdateFiles();
  void showUpdateFileError();
  void powerOff();
  void runMainDialog();
  void discardQuitMessage();

  SharedState& state_;
  platform::Handle instanceLock_ = 0;
  bool imagesReleased_ = false;
  ImageSlot retiredImages_[kMaxUpdateFiles];
};

// One run of the updater on `platform`: construction, start-up, end. The
// optional hook sees the application and its shared values once start-up has
// returned (the scenario runner prints them). Returns the exit code, 0.
platform::DWORD runUpdater(
    platform::Platform& platform,
    const std::function<void(UpdaterApp&)>& atEnd = {});

}  // namespace norbix
