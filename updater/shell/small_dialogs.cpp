#include "shell/small_dialogs.h"

#include "framework/app.h"
#include "resources/string_ids.h"

namespace norbix {

using namespace platform;

AttentionDialog::AttentionDialog(Platform& platform)
    : Dialog(platform, kDialogAttention) {}

bool AttentionDialog::onInitDialog() {
  warningText_ = item(kCtlWarningText);
  warningText_.setText(framework::loadString(platform().ui, kStrAttentionText));
  return true;
}

FinishDialog::FinishDialog(Platform& platform, SharedState& state)
    : Dialog(platform, kDialogFinish), state_(state) {}

UINT FinishDialog::resultTextId() const {
  if (load(state_.updateSucceeded) == 1) return kStrUpdateSucceeded;
  if (load(state_.firmwareAlreadyCurrent) != 0) return kStrUpdateNotNeeded;
  return kStrUpdateFailed;
}

bool FinishDialog::onInitDialog() {
  store(failedResult, 0);
  resultText_ = item(kCtlResultText);
  UINT id = resultTextId();
  if (id == kStrUpdateFailed) store(failedResult, 1);
  resultText_.setText(framework::loadString(platform().ui, id));
  return true;
}

bool FinishDialog::onCommand(int id, UINT code) {
  if (id != IDOK) return Dialog::onCommand(id, code);
  // Shutdown, or the Enter key.
  store(state_.shutdownRequested, 1);
  endDialog(IDOK);
  return true;
}

bool FinishDialog::onClose() {
  // The default handling that follows ends the dialog through Cancel.
  store(state_.shutdownRequested, 0);
  return false;
}

void FinishDialog::onCancel() {
  store(state_.shutdownRequested, 0);
  endDialog(IDCANCEL);
}

HBRUSH FinishDialog::onCtlColor(HDC dc, HWND control) {
  if (control != resultText_.hwnd() || load(failedResult) == 0) return 0;
  Dialogs& dialogs = platform().dialogs;
  dialogs.setBkMode(dc, TRANSPARENT);
  dialogs.setTextColor(dc, RGB(255, 0, 0));
  return dialogs.getSysColorBrush(COLOR_BTNFACE);
}

AboutDialog::AboutDialog(Platform& platform) : Dialog(platform, kDialogAbout) {}

}  // namespace norbix
