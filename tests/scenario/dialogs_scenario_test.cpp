// The main dialog and its about box on the simulated PC, driven by the
// scripted user as norbix-sim drives them.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include "scenario/scenario_events.h"

namespace {

using scenariotest::events;
using scenariotest::has;
using scenariotest::hasPrefix;
using scenariotest::indexOf;

class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/norbix-dialogs-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~Folder() { ::rmdir(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::string> runWith(simkit::ScenarioOptions options,
                                 simkit::Outcome expected = simkit::Outcome::Ended) {
  simkit::Scenario scenario(std::move(options));
  EXPECT_EQ(expected, scenario.run());
  return scenario.transcript();
}

TEST(MainDialog, TwoFilesShowBothVersions) {
  Folder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  options.files = {{"A_KA.DFU", scenariotest::updateFile("1.43")},
                   {"B_KA.DFU", scenariotest::updateFile("1.50")}};
  auto lines = runWith(options);
  EXPECT_TRUE(has(lines, "text 102.1005 \"Firmware Version : 01.43/01.50\""));
}

TEST(MainDialog, FileWithoutVersionTextGivesTheBoxUnknownAndTheEndText) {
  Folder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  options.files = {{"A_KA.DFU", scenariotest::updateFile("2.05", false)}};
  auto lines = runWith(options);
  int open = indexOf(lines, "dialog 102 open");
  int unknown = indexOf(lines, "text 102.1005 \"unknown\"");
  int box = indexOf(lines,
                    "msgbox \"Check error of update file\" \"The update file has a problem.\\r\\n"
                    "Please execute after download once again.\" hand -> ok");
  int status = indexOf(
      lines, "text 102.1010 \"Updating process has ended. Please click the [End] button.\"");
  EXPECT_LT(open, unknown);
  EXPECT_LT(unknown, box);
  EXPECT_LT(box, status);
  EXPECT_TRUE(has(lines, "enable 102.1000 0"));
}

TEST(MainDialog, JapaneseUnknownVersion) {
  Folder empty;
  simkit::ScenarioOptions options;
  options.japanese = true;
  options.folder = empty.path();
  options.files = {{"A_KA.DFU", scenariotest::updateFile("2.05", false)}};
  auto lines = runWith(options);
  EXPECT_TRUE(has(lines, "text 102.1005 \"不明\""));
  EXPECT_TRUE(has(lines, "msgbox \"更新用ファイルのチェックエラー\" \"更新に必要なファイルが壊れている"
                         "可能性があります。もう一度ダウンロードしてから実行してください。\" hand -> ok"));
}

struct EndCase {
  std::string action;
  std::string end;
};

class MainDialogEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(MainDialogEnds, ByKeyButtonOrCloseBoxWithoutAWarning) {
  simkit::ScenarioOptions options;
  options.actions = {{3000, GetParam().action}};
  auto lines = runWith(options);
  EXPECT_TRUE(has(lines, GetParam().end));
  EXPECT_FALSE(hasPrefix(lines, "msgbox"));
  EXPECT_FALSE(hasPrefix(lines, "note user"));
  // Ended by the action, not by the idle rule ten seconds later.
  EXPECT_EQ("3000 " + GetParam().end, lines[indexOf(lines, GetParam().end)]);
}

INSTANTIATE_TEST_SUITE_P(Ways, MainDialogEnds,
                         ::testing::Values(EndCase{"end", "dialog 102 end 1"},
                                           EndCase{"escape", "dialog 102 end 2"},
                                           EndCase{"close", "dialog 102 end 2"}));

TEST(MainDialog, StartIsIgnoredWhileNoReaderIsKnown) {
  simkit::ScenarioOptions options;
  options.actions = {{3000, "start"}};
  auto lines = runWith(options);
  EXPECT_TRUE(has(lines, "note user start ignored"));
  EXPECT_FALSE(hasPrefix(lines, "show 102.1001"));
}

TEST(MainDialog, AboutBoxFromTheSystemMenu) {
  simkit::ScenarioOptions options;
  options.actions = {{3000, "about"}, {3500, "escape"}, {5000, "end"}};
  auto lines = runWith(options);
  int open = indexOf(lines, "dialog 100 open");
  int closed = indexOf(lines, "dialog 100 end 2");
  int ended = indexOf(lines, "dialog 102 end 1");
  EXPECT_GE(open, 0);
  EXPECT_LT(open, closed);
  EXPECT_LT(closed, ended);
}

TEST(MainDialog, ActionsBeforeTheMainDialogAreIgnoredByTheWarning) {
  simkit::ScenarioOptions options;
  options.actions = {{200, "about"}, {300, "close"}};
  auto lines = runWith(options);
  EXPECT_TRUE(has(lines, "note user about ignored"));
  EXPECT_TRUE(has(lines, "note user close ignored"));
  EXPECT_TRUE(has(lines, "dialog 134 end 1"));
}

}  // namespace
