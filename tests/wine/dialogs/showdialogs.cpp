// showdialogs: runs one of the updater's dialogs with the real backend, so
// that the Wine tests can read it with the UI probe and take its picture.
// The finish dialog appears in the updater only at the end of an update run,
// which needs a reader; here it is shown with each of its result texts.
//
//   showdialogs attention|about|main|finish155|finish156|finish162|acp
//
// Prints "result=N shutdown=S" when the dialog has ended ("acp" prints the
// ANSI code page in force).
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/small_dialogs.h"
#include "shell/update_dialog.h"
#include "shell/updater_app.h"
#include "win32/win32_platform.h"

namespace {

using namespace norbix;

struct FinishCase {
  const char* name;
  int succeeded;
  int alreadyCurrent;
};

constexpr FinishCase kFinishCases[] = {
    {"finish155", 1, 0}, {"finish156", 0, 1}, {"finish162", 0, 0}};

long long runDialog(platform::Platform& platform, SharedState& state, const std::string& what) {
  if (what == "attention") return AttentionDialog(platform).runModal();
  if (what == "about") return AboutDialog(platform).runModal();
  if (what == "main") {
    UpdaterApp app(platform, state);
    return UpdateDialog(app).runModal();
  }
  for (const FinishCase& c : kFinishCases) {
    if (what != c.name) continue;
    store(state.updateSucceeded, c.succeeded);
    store(state.firmwareAlreadyCurrent, c.alreadyCurrent);
    return FinishDialog(platform, state).runModal();
  }
  return -2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: showdialogs attention|about|main|finish155|finish156|finish162|acp\n");
    return 2;
  }
  platform::win32::Win32Platform windows;
  platform::Platform& platform = windows.get();
  std::string what = argv[1];
  if (what == "acp") {
    std::printf("%u\n", platform.kernel.getACP());
    return 0;
  }
  SharedState state;
  store(state.shutdownRequested, 7);  // shows what the dialog left there
  long long result = runDialog(platform, state, what);
  if (result == -2) return 2;
  std::printf("result=%lld shutdown=%d\n", result, load(state.shutdownRequested));
  std::fflush(stdout);
  return 0;
}
