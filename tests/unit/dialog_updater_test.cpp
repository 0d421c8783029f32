// The updater's dialogs on the simulated backend, driven the way the watch
// thread and the update worker will drive them: shared values set from the
// test, the finish dialog run from a second thread, device changes
// broadcast by the simulated PC.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/thread.h"
#include "resources/string_ids.h"
#include "shell/small_dialogs.h"
#include "shell/update_dialog.h"
#include "shell/updater_app.h"
#include "sim/dialogs.h"
#include "sim/process.h"
#include "sim/transcript.h"
#include "sim/windows.h"
#include "sim_program.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using norbix::SharedState;
using norbix::load;
using norbix::store;

std::vector<std::string> events(sim::SimPc& pc) {
  std::vector<std::string> out;
  for (const std::string& line : pc.transcript().lines()) {
    std::string event = line.substr(line.find(' ') + 1);
    if (!event.empty() && event[0] == '[') event = event.substr(event.find(' ') + 1);
    out.push_back(event);
  }
  return out;
}

int count(const std::vector<std::string>& lines, const std::string& line) {
  int n = 0;
  for (const auto& l : lines) n += l == line;
  return n;
}

sim::SimDialogs& simDialogs(Platform& p) { return static_cast<sim::SimDialogs&>(p.dialogs); }

class UpdaterDialogTest : public ::testing::Test {
 protected:
  sim::RunEnd run(std::function<DWORD(Platform&)> body) {
    pc->installProgram("Norbix.exe", std::move(body), norbix::updaterStrings(),
                       norbix::updaterDialogs());
    pc->startProcess("C:\\NORBIX\\Norbix.exe", "Norbix.exe", "C:\\NORBIX");
    return pc->run(3600 * 1000);
  }
  void at(sim::Millis when, std::function<void()> action) {
    pc->scheduler().addTimer(when, std::move(action));
  }
  testsupport::TestPc pc;
};

// The finish dialog, with the result text's colour seen when it ends.
class WatchedFinish : public norbix::FinishDialog {
 public:
  using FinishDialog::FinishDialog;
  sim::ControlState seen{};

 protected:
  bool onCommand(int id, UINT code) override {
    if (const auto* c = simDialogs(platform()).control(norbix::kDialogFinish, 1014)) seen = *c;
    return FinishDialog::onCommand(id, code);
  }
};

struct FinishCase {
  int succeeded;
  int alreadyCurrent;
  const char* answer;
  std::string text;
  bool red;
  INT_PTR result;
  int shutdown;
};

class FinishTexts : public UpdaterDialogTest,
                    public ::testing::WithParamInterface<FinishCase> {};

TEST_P(FinishTexts, ResultTextColourAndShutdownChoice) {
  const FinishCase& c = GetParam();
  pc->user().script().answers["finish"] = c.answer;
  SharedState state;
  store(state.updateSucceeded, c.succeeded);
  store(state.firmwareAlreadyCurrent, c.alreadyCurrent);
  store(state.shutdownRequested, 7);
  INT_PTR result = 0;
  sim::ControlState seen{};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    WatchedFinish finish(p, state);
    result = finish.runModal();
    seen = finish.seen;
    return 0;
  }));
  EXPECT_EQ(1, count(events(pc.pc()), "text 133.1014 \"" + c.text + "\""));
  EXPECT_EQ(c.result, result);
  EXPECT_EQ(c.shutdown, load(state.shutdownRequested));
  EXPECT_TRUE(seen.drawn);
  EXPECT_EQ(c.red ? RGB(255, 0, 0) : 0u, seen.textColor);
  EXPECT_EQ(c.red ? TRANSPARENT : OPAQUE, seen.bkMode);
}

INSTANTIATE_TEST_SUITE_P(
    Results, FinishTexts,
    ::testing::Values(
        FinishCase{1, 0, "shutdown", "..... The firmware has been updated successfully .....",
                   false, IDOK, 1},
        FinishCase{0, 1, "escape", "..... The updated process is complete .....", false,
                   IDCANCEL, 0},
        FinishCase{0, 0, "escape",
                   "The updated process was not successful.\\r\\nPlease restart the system "
                   "and try it again.",
                   true, IDCANCEL, 0},
        // The success text wins over the not-needed one.
        FinishCase{1, 1, "shutdown", "..... The firmware has been updated successfully .....",
                   false, IDOK, 1}));

// The main dialog with a stand-in for the update worker: on Start it sets
// the state the worker leaves and runs the finish dialog on its own thread.
class MainWithWorker : public norbix::UpdateDialog {
 public:
  MainWithWorker(norbix::UpdaterApp& app, bool enableStart)
      : UpdateDialog(app), enableStart_(enableStart) {}
  std::function<void(MainWithWorker&)> afterInit;
  std::function<void(MainWithWorker&)> beforeEnd;
  INT_PTR finishResult = 0;

  void runFinish() {
    auto body = [](void* param) -> DWORD {
      auto* self = static_cast<MainWithWorker*>(param);
      norbix::FinishDialog finish(self->platform(), self->state());
      self->finishDialog = &finish;
      self->finishResult = finish.runModal();
      self->finishDialog = nullptr;
      return 0;
    };
    framework::beginThread(platform().kernel, body, this, THREAD_PRIORITY_HIGHEST, false);
  }

 protected:
  bool onInitDialog() override {
    UpdateDialog::onInitDialog();
    if (enableStart_) item(1000).enable(true);
    if (afterInit) afterInit(*this);
    return true;
  }
  void onOK() override {
    if (beforeEnd) beforeEnd(*this);
    UpdateDialog::onOK();
  }

 private:
  bool enableStart_;
};

TEST_F(UpdaterDialogTest, UnpluggingClosesTheFinishDialogOnceWithoutPowerOff) {
  SharedState state;
  INT_PTR finishResult = -5;
  int closes = -1;
  // The first unplug comes before the user would answer the finish dialog.
  for (sim::Millis t : {500, 2000}) {
    at(t, [this] { pc->broadcastDeviceChange(DBT_DEVNODES_CHANGED, ""); });
  }
  pc->user().script().actions = {{9000, "end"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, false);
    dialog.afterInit = [&state](MainWithWorker& d) {
      store(state.updateState, norbix::kStateFinished);
      store(state.updateSucceeded, 1);
      d.runFinish();
    };
    dialog.runModal();
    finishResult = dialog.finishResult;
    closes = load(dialog.finishCloseSent);
    return 0;
  }));
  std::vector<std::string> lines = events(pc.pc());
  EXPECT_EQ(IDCANCEL, finishResult);
  EXPECT_EQ(1, closes);
  EXPECT_EQ(0, load(state.shutdownRequested));
  EXPECT_EQ(1, count(lines, "dialog 133 end 2"));
  EXPECT_EQ(0, pc->powerOffRequests);
}

TEST_F(UpdaterDialogTest, CloseAfterStartWarnsFirstAndStartDisablesTheButtons) {
  SharedState state;
  INT_PTR result = 0;
  pc->user().script().actions = {{2000, "start"}, {3000, "close"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, true);
    result = dialog.runModal();
    EXPECT_EQ(1, load(dialog.updateStarted));
    EXPECT_EQ(1, load(dialog.readerEventsHeld));
    EXPECT_EQ(1, load(dialog.watchBlock.stop));
    return 0;
  }));
  std::vector<std::string> lines = events(pc.pc());
  // The update worker's status texts interleave with the dialog's lines.
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.rfind("text 102.1010", 0) == 0; }),
              lines.end());
  std::vector<std::string> want = {"enable 102.1000 0", "enable 102.1009 0", "enable 102.1 0",
                                   "show 102.1001 1",
                                   "msgbox \"Attention !!\" \"Program is terminated. \\nPlease "
                                   "retry Firmware Updater.\" hand -> ok",
                                   "dialog 102 end 2"};
  auto start = std::find(lines.begin(), lines.end(), "enable 102.1000 0");
  ASSERT_NE(start, lines.end());
  ++start;  // the first is the initial disabling, the second Start's
  start = std::find(start, lines.end(), "enable 102.1000 0");
  ASSERT_NE(start, lines.end());
  EXPECT_EQ(want, std::vector<std::string>(start, start + want.size()));
  EXPECT_EQ(IDCANCEL, result);
}

TEST_F(UpdaterDialogTest, CloseBeforeStartEndsWithoutAWarning) {
  SharedState state;
  pc->user().script().actions = {{2000, "close"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    norbix::UpdateDialog dialog(app);
    EXPECT_EQ(IDCANCEL, dialog.runModal());
    EXPECT_TRUE(app.updateFileImagesReleased());
    return 0;
  }));
  for (const auto& line : events(pc.pc())) EXPECT_NE(0u, line.rfind("msgbox", 0)) << line;
}

struct StateCase {
  std::int32_t state;
  int succeeded;
  int alreadyCurrent;
  bool readerTextVisible;
  std::string readerText;
  bool deviceTextVisible;
  std::string deviceText;
  bool versionVisible;
};

TEST_F(UpdaterDialogTest, StateDisplayFollowsTheUpdateState) {
  const std::string noReader =
      "The memory card reader cannot be found or this firmware update is not for \r\nthis "
      "system. Please confirm the system once again.";
  const StateCase cases[] = {
      {-1, 0, 0, false, "", true, noReader, false},
      {0, 0, 0, false, "", true, noReader, true},  // 1012 and 1017 as they were
      {2, 1, 0, true, "..... The firmware has been updated successfully .....", false,
       noReader, false},
      {2, 0, 1, true, "..... The updated process is complete .....", false, noReader, false},
      {4, 0, 0, false, "..... The updated process is complete .....", true, noReader, false},
      {5, 0, 0, false, "..... The updated process is complete .....", true, noReader, false},
  };
  SharedState state;
  std::vector<sim::ControlState> seen;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, false);
    dialog.afterInit = [&](MainWithWorker& d) {
      d.statusLine.setText("old");
      for (const StateCase& c : cases) {
        store(state.updateState, c.state);
        store(state.updateSucceeded, c.succeeded);
        store(state.firmwareAlreadyCurrent, c.alreadyCurrent);
        d.showReaderInfo(0);
        auto& sim = simDialogs(p);
        for (int id : {1012, 1017, 1002, 1010}) seen.push_back(*sim.control(102, id));
      }
    };
    dialog.runModal();
    return 0;
  }));
  ASSERT_EQ(std::size(cases) * 4, seen.size());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].state);
    const sim::ControlState* c = &seen[i * 4];
    EXPECT_EQ(cases[i].readerTextVisible, c[0].visible);
    if (cases[i].readerTextVisible) {
      EXPECT_EQ(cases[i].readerText, c[0].text);
    }
    EXPECT_EQ(cases[i].deviceTextVisible, c[1].visible);
    EXPECT_EQ(cases[i].deviceText, c[1].text);
    EXPECT_EQ(cases[i].versionVisible, c[2].visible);
    EXPECT_EQ("", c[3].text);
  }
}

TEST_F(UpdaterDialogTest, RemovalDuringUpdateModeResetsTheReader) {
  SharedState state;
  int present = -1;
  pc->user().script().actions = {{5000, "end"}};
  at(2000, [this] { pc->broadcastDeviceChange(DBT_DEVNODES_CHANGED, ""); });
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, true);
    dialog.afterInit = [&state](MainWithWorker& d) {
      store(state.updateState, norbix::kStateUpdating);
      store(state.readerAttached, 1);
      store(d.readerPresent, 1);
    };
    dialog.runModal();
    present = load(dialog.readerPresent);
    return 0;
  }));
  EXPECT_EQ(0, present);
  EXPECT_EQ(0, load(state.readerAttached));
  std::vector<std::string> lines = events(pc.pc());
  // Disabled as the dialog opens, enabled by the test, disabled by the reset.
  EXPECT_EQ(2, count(lines, "enable 102.1000 0"));
  EXPECT_EQ(1, count(lines, "enable 102.1000 1"));
  EXPECT_EQ("enable 102.1000 0", *std::find_if(lines.rbegin(), lines.rend(), [](const auto& l) {
    return l.rfind("enable 102.1000", 0) == 0;
  }));
}

TEST_F(UpdaterDialogTest, OtherDeviceEventsChangeNothing) {
  SharedState state;
  pc->user().script().actions = {{5000, "end"}};
  at(2000, [this] { pc->broadcastDeviceChange(0x8000, "USB\\VID_0B1E&PID_1101\\1"); });
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, false);
    dialog.afterInit = [&state](MainWithWorker& d) {
      store(state.updateState, norbix::kStateUpdating);
      store(state.readerAttached, 1);
      store(d.readerPresent, 1);
    };
    dialog.runModal();
    return 0;
  }));
  EXPECT_EQ(1, load(state.readerAttached));
}

TEST_F(UpdaterDialogTest, SessionEndIsAllowedAndTheMinimisedIconIsCentred) {
  SharedState state;
  LRESULT answer = 0;
  pc->user().script().actions = {{5000, "end"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, false);
    dialog.afterInit = [&](MainWithWorker& d) {
      answer = p.ui.sendMessageA(d.hwnd(), WM_QUERYENDSESSION, 0, 0);
      simDialogs(p).minimise(102);
    };
    dialog.runModal();
    return 0;
  }));
  EXPECT_EQ(1, answer);
  // A 36-pixel client area and a 32-pixel icon: (36 - 32 + 1) / 2 = 2.
  EXPECT_EQ(1, count(events(pc.pc()), "note icon 128 drawn at 2,2"));
}

TEST_F(UpdaterDialogTest, StatusLineIsBlueAndRegistersForDiskDevices) {
  SharedState state;
  sim::ControlState status{};
  std::vector<DWORD> classes;
  pc->user().script().actions = {{5000, "end"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    norbix::UpdaterApp app(p, state);
    MainWithWorker dialog(app, false);
    dialog.afterInit = [](MainWithWorker& d) { d.statusLine.setText("x"); };
    dialog.beforeEnd = [&](MainWithWorker&) { status = *simDialogs(p).control(102, 1010); };
    dialog.runModal();
    classes = simDialogs(p).registeredClasses();
    return 0;
  }));
  EXPECT_EQ(std::vector<DWORD>{0x4D36E967}, classes);
  EXPECT_TRUE(status.drawn);
  EXPECT_EQ(RGB(0, 0, 255), status.textColor);
  EXPECT_EQ(TRANSPARENT, status.bkMode);
}

}  // namespace
