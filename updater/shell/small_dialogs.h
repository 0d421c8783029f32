// The updater's three small dialogs: the warning before anything changes,
// the result of an update run with its shutdown offer, and the about box.
#pragma once

#include "framework/dialog.h"
#include "shell/shared_state.h"

namespace norbix {

// Ends with OK (go on) or Cancel (end the program before any change).
class AttentionDialog : public framework::Dialog {
 public:
  explicit AttentionDialog(platform::Platform& platform);

 protected:
  bool onInitDialog() override;

 private:
  framework::Control warningText_;
};

// Shown by the update worker on its own thread; its effect is the value it
// leaves in shutdownRequested. The main dialog closes it with WM_CLOSE when
// the reader is unplugged.
class FinishDialog : public framework::Dialog {
 public:
  FinishDialog(platform::Platform& platform, SharedState& state);

  // 1 while the result text is the failure text: drawn in red.
  SharedInt failedResult{0};

 protected:
  bool onInitDialog() override;
  bool onCommand(int id, platform::UINT code) override;
  bool onClose() override;
  void onCancel() override;
  platform::HBRUSH onCtlColor(platform::HDC dc, platform::HWND control) override;

 private:
  platform::UINT resultTextId() const;

  SharedState& state_;
  framework::Control resultText_;
};

class AboutDialog : public framework::Dialog {
 public:
  explicit AboutDialog(platform::Platform& platform);
};

}  // namespace norbix
