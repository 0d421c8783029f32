// The framework's dialog class on the simulated backend: what the transcript
// shows, how the scripted user reaches the handlers, the message queue with
// its WM_QUIT rule, and sends from another thread.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/thread.h"
#include "sim/dialogs.h"
#include "sim/process.h"
#include "sim/transcript.h"
#include "sim/windows.h"
#include "sim_program.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;

// A dialog whose handlers are test lambdas.
class ProbeDialog : public framework::Dialog {
 public:
  using Dialog::Dialog;
  std::function<void(ProbeDialog&)> init;
  std::function<void(int)> command;
  std::function<HBRUSH(HDC, HWND)> colour;
  std::vector<WPARAM> deviceEvents;
  int closes = 0;
  bool handleClose = false;

 protected:
  bool onInitDialog() override {
    if (init) init(*this);
    return true;
  }
  bool onCommand(int id, UINT code) override {
    if (command) command(id);
    return Dialog::onCommand(id, code);
  }
  bool onClose() override {
    ++closes;
    return handleClose;
  }
  HBRUSH onCtlColor(HDC dc, HWND control) override {
    return colour ? colour(dc, control) : 0;
  }
  bool onDeviceChange(WPARAM event, LPARAM, LRESULT* result) override {
    deviceEvents.push_back(event);
    *result = 1;
    return true;
  }
};

// The events of the transcript without their times and process tags.
std::vector<std::string> events(sim::SimPc& pc) {
  std::vector<std::string> out;
  for (const std::string& line : pc.transcript().lines()) {
    std::string event = line.substr(line.find(' ') + 1);
    if (!event.empty() && event[0] == '[') event = event.substr(event.find(' ') + 1);
    out.push_back(event);
  }
  return out;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines) {
    if (l == line) return true;
  }
  return false;
}

class DialogTest : public ::testing::Test {
 protected:
  sim::RunEnd run(std::function<DWORD(Platform&)> body) {
    pc->installProgram("NORBIX.EXE", std::move(body), norbix::updaterStrings(),
                       norbix::updaterDialogs());
    process = pc->startProcess("C:\\NORBIX\\NORBIX.EXE", "NORBIX.EXE", "C:\\NORBIX");
    return pc->run(3600 * 1000);
  }
  sim::UserScript& script() { return pc->user().script(); }

  testsupport::TestPc pc;
  sim::Process* process = nullptr;
};

TEST_F(DialogTest, OpenTextsAndEndShowInTheTranscriptOnlyWhenTheyChange) {
  INT_PTR result = 0;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, 134);
    dialog.init = [](ProbeDialog& d) {
      d.item(1015).setText("first");
      d.item(1015).setText("first");  // unchanged: no line
      d.item(2).show(true);           // already visible: no line
      d.item(2).enable(false);
      d.item(2).enable(false);
      d.item(1).focus();
    };
    result = dialog.runModal();
    return 0;
  }));
  // Nobody scripted the attention dialog: a second after it opened the user
  // presses its default button.
  EXPECT_EQ(IDOK, result);
  std::vector<std::string> want = {"dialog 134 open", "text 134.1015 \"first\"",
                                   "enable 134.2 0", "focus 134.1", "dialog 134 end 1", "exit 0"};
  EXPECT_EQ(want, events(pc.pc()));
}

struct ActionCase {
  std::string action;
  unsigned templateId;
  INT_PTR result;
  bool ignored;
};

class DialogActions : public DialogTest,
                      public ::testing::WithParamInterface<ActionCase> {};

TEST_P(DialogActions, ScriptedUserReachesTheHandlers) {
  const ActionCase& c = GetParam();
  script().actions = {{500, c.action}};
  INT_PTR result = 0;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, c.templateId);
    result = dialog.runModal();
    return 0;
  }));
  EXPECT_EQ(c.result, result);
  EXPECT_EQ(c.ignored, contains(events(pc.pc()), "note user " + c.action + " ignored"));
}

INSTANTIATE_TEST_SUITE_P(
    Words, DialogActions,
    ::testing::Values(
        ActionCase{"escape", 134, IDCANCEL, false},
        ActionCase{"cancel", 134, IDCANCEL, false},
        ActionCase{"ok", 134, IDOK, false},
        // No system menu: the close box does not exist; later the default.
        ActionCase{"close", 134, IDOK, true},
        // The close box of the main dialog: WM_CLOSE, then Cancel.
        ActionCase{"close", 102, IDCANCEL, false},
        // The finish dialog's CANCEL button is hidden.
        ActionCase{"cancel", 133, IDOK, true},
        // No about item in a system menu nobody extended.
        ActionCase{"about", 102, IDOK, true},
        ActionCase{"start", 134, IDOK, true}),
    [](const auto& info) {
      return info.param.action + "_" + std::to_string(info.param.templateId);
    });

TEST_F(DialogTest, DisabledButtonsCannotBePressed) {
  script().actions = {{500, "start"}, {600, "end"}};
  std::vector<int> commands;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, 102);
    dialog.init = [](ProbeDialog& d) { d.item(1000).enable(false); };
    dialog.command = [&](int id) { commands.push_back(id); };
    dialog.runModal();
    return 0;
  }));
  EXPECT_TRUE(contains(events(pc.pc()), "note user start ignored"));
  EXPECT_EQ(std::vector<int>{IDOK}, commands);
}

TEST_F(DialogTest, SystemMenuItemReachesOnSysCommand) {
  script().actions = {{500, "about"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    struct AboutProbe : ProbeDialog {
      using ProbeDialog::ProbeDialog;
      std::vector<WPARAM> seen;
      bool onSysCommand(WPARAM command) override {
        seen.push_back(command);
        return true;
      }
    } dialog(p, 102);
    dialog.init = [&p](ProbeDialog& d) {
      HMENU menu = p.dialogs.getSystemMenu(d.hwnd(), 0);
      p.dialogs.appendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      p.dialogs.appendMenuA(menu, MF_STRING, 16, "About");
    };
    dialog.runModal();
    EXPECT_EQ(std::vector<WPARAM>{16}, dialog.seen);
    return 0;
  }));
}

TEST_F(DialogTest, AQuitMessageEndsTheLoopWithOneAndStaysForTheNextLoop) {
  std::vector<INT_PTR> results;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog first(p, 102);
    first.init = [&p](ProbeDialog& d) {
      p.ui.postMessageA(d.hwnd(), WM_QUIT, 0, 0);
    };
    results.push_back(first.runModal());
    // Windows puts the quit back: the next modal loop ends at once.
    ProbeDialog second(p, 134);
    results.push_back(second.runModal());
    // Removed, it no longer reaches the third.
    MSG m{};
    EXPECT_TRUE(p.dialogs.peekMessageA(&m, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(p.dialogs.peekMessageA(&m, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    ProbeDialog third(p, 134);
    results.push_back(third.runModal());
    return 0;
  }));
  // The third ran until the user pressed its default button.
  EXPECT_EQ((std::vector<INT_PTR>{IDOK, IDOK, IDOK}), results);
  std::vector<std::string> lines = events(pc.pc());
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ("dialog 102 end 1", lines[1]);
  EXPECT_EQ("dialog 134 open", lines[2]);
  EXPECT_EQ("dialog 134 end 1", lines[3]);
  // Only the third waited for the user.
  EXPECT_EQ(sim::Millis{1000}, pc->scheduler().now());
}

TEST_F(DialogTest, CloseSentFromAnotherThreadRunsOnTheDialogsThread) {
  struct Shared {
    Platform* platform;
    HWND target = 0;
    LRESULT answer = -1;
  } shared;
  ProbeDialog* seen = nullptr;
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    shared.platform = &p;
    ProbeDialog dialog(p, 133);
    seen = &dialog;
    dialog.init = [&](ProbeDialog& d) {
      shared.target = d.hwnd();
      auto closer = [](void* param) -> DWORD {
        auto* s = static_cast<Shared*>(param);
        s->platform->kernel.sleep(300);
        s->answer = s->platform->ui.sendMessageA(s->target, WM_CLOSE, 0, 0);
        return 0;
      };
      framework::beginThread(p.kernel, closer, &shared, THREAD_PRIORITY_HIGHEST, false);
    };
    EXPECT_EQ(IDCANCEL, dialog.runModal());
    EXPECT_EQ(1, dialog.closes);
    p.kernel.sleep(1000);  // the sender finishes before the process ends
    return 0;
  }));
  EXPECT_EQ(0, shared.answer);  // WM_CLOSE left to the default handling
  EXPECT_NE(seen, nullptr);
}

TEST_F(DialogTest, StaticsAreDrawnWithTheColoursTheHandlerChose) {
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, 102);
    HWND statusLine = 0;
    dialog.init = [&](ProbeDialog& d) {
      statusLine = d.item(1010).hwnd();
      d.item(1010).setText("busy");
    };
    dialog.colour = [&](HDC dc, HWND control) -> HBRUSH {
      if (control != statusLine) return 0;
      p.dialogs.setBkMode(dc, TRANSPARENT);
      p.dialogs.setTextColor(dc, RGB(0, 0, 255));
      return p.dialogs.getSysColorBrush(COLOR_BTNFACE);
    };
    dialog.command = [&](int) {
      auto& sim = static_cast<sim::SimDialogs&>(p.dialogs);
      const sim::ControlState* status = sim.control(102, 1010);
      const sim::ControlState* other = sim.control(102, 1012);
      EXPECT_TRUE(status->drawn);
      EXPECT_EQ(TRANSPARENT, status->bkMode);
      EXPECT_EQ(RGB(0, 0, 255), status->textColor);
      EXPECT_TRUE(other->drawn);
      EXPECT_EQ(OPAQUE, other->bkMode);
      EXPECT_EQ(0u, other->textColor);
    };
    dialog.runModal();
    return 0;
  }));
}

TEST_F(DialogTest, DeviceChangesAreQueuedForTheDialogsThread) {
  script().actions = {{2000, "end"}};
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, 102);
    dialog.init = [&](ProbeDialog&) {
      auto& sim = static_cast<sim::SimDialogs&>(p.dialogs);
      sim.deviceChange(DBT_DEVNODES_CHANGED, 0);
      sim.deviceChange(DBT_DEVICEARRIVAL, 0);
    };
    dialog.runModal();
    EXPECT_EQ((std::vector<WPARAM>{DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL}),
              dialog.deviceEvents);
    return 0;
  }));
}

TEST_F(DialogTest, MissingTemplateGivesMinusOne) {
  ASSERT_EQ(sim::RunEnd::Finished, run([&](Platform& p) -> DWORD {
    ProbeDialog dialog(p, 999);
    EXPECT_EQ(-1, dialog.runModal());
    return 0;
  }));
  EXPECT_EQ(std::vector<std::string>{"exit 0"}, events(pc.pc()));
}

}  // namespace
