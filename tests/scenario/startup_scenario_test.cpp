// Start-up of the updater on the simulated PC, as a user sees it: which
// dialogs and boxes appear, in which order, with which texts.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "scenario/scenario_events.h"
#include "sim/filesystem.h"

namespace {

using scenariotest::events;
using scenariotest::has;
using scenariotest::hasPrefix;
using scenariotest::indexOf;

const char kAttentionEn[] =
    "text 134.1015 \"Please remove any memory cards from the memory card reader.\\r\\n"
    "Please click [OK] button after closing all open applications.\\r\\n"
    "Or click [Cancel] button to cancel this  update.\\r\\n\\r\\n"
    "Note: if you proceed this process, the card reader  will not be \\r\\n"
    "         available until after restarting the computer.\"";
const char kNoReaderEn[] =
    "text 102.1017 \"The memory card reader cannot be found or this firmware update is "
    "not for \\r\\nthis system. Please confirm the system once again.\"";
const char kUpdateFileBox[] =
    "msgbox \"Check error of update file\" \"The update file has a problem.\\r\\n"
    "Please execute after download once again.\" hand -> ok";

// A host folder that is empty for the scenario's lifetime.
class EmptyFolder {
 public:
  EmptyFolder() {
    char pattern[] = "/tmp/norbix-empty-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~EmptyFolder() { ::rmdir(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct RunResult {
  simkit::Outcome outcome;
  std::vector<std::string> lines;
};

// Every file under a folder with its bytes.
std::map<std::string, std::string> snapshot(const sim::FileSystem& files,
                                            const std::string& folder) {
  std::map<std::string, std::string> out;
  for (const auto& entry : files.list(folder, "*")) {
    if (entry.name == "." || entry.name == "..") continue;
    std::string path = folder + "\\" + entry.name;
    if (entry.folder) {
      for (auto& [name, bytes] : snapshot(files, path)) out[name] = bytes;
    } else {
      out[path] = files.readFile(path).value_or("");
    }
  }
  return out;
}

RunResult run(simkit::ScenarioOptions options) {
  options.dumpState = true;
  simkit::Scenario scenario(std::move(options));
  simkit::Outcome outcome = scenario.run();
  return {outcome, scenario.transcript()};
}

TEST(Startup, DemoFolderShowsTheWarningThenTheMainDialogUntilEnd) {
  RunResult r = run({});
  EXPECT_EQ(simkit::Outcome::Ended, r.outcome);
  std::vector<std::string> want = {
      "dialog 134 open", kAttentionEn, "dialog 134 end 1", "dialog 102 open",
      "show 102.1002 0", "show 102.1012 0", kNoReaderEn,
      "text 102.1005 \"Firmware Version : 02.05\"", "enable 102.1000 0",
      "dialog 102 end 1"};
  std::vector<std::string> got = events(r.lines);
  ASSERT_GE(got.size(), want.size());
  EXPECT_EQ(want, std::vector<std::string>(got.begin(), got.begin() + want.size()));
  EXPECT_TRUE(has(r.lines, "state updateFileCount=1"));
  EXPECT_TRUE(has(r.lines, "state readerVariant=1"));
  EXPECT_TRUE(has(r.lines, "state updateState=-1"));
}

TEST(Startup, EmptyFolderStillShowsBothDialogsWithoutAnyBox) {
  EmptyFolder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  RunResult r = run(options);
  EXPECT_EQ(simkit::Outcome::Ended, r.outcome);
  EXPECT_FALSE(hasPrefix(r.lines, "msgbox"));
  EXPECT_TRUE(has(r.lines, "dialog 134 end 1"));
  EXPECT_TRUE(has(r.lines, "dialog 102 open"));
  EXPECT_FALSE(hasPrefix(r.lines, "text 102.1005"));
  EXPECT_TRUE(has(r.lines, "enable 102.1000 0"));
  EXPECT_TRUE(has(r.lines, "state updateFileCount=0"));
  EXPECT_TRUE(has(r.lines, "state readerVariant=0"));
}

struct VariantCase {
  std::vector<std::string> names;
  int variant;
  int count;
};

class StartupVariants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(StartupVariants, NamesPickTheVariantAndOnlyTwoFilesAreKept) {
  const VariantCase& c = GetParam();
  EmptyFolder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  for (const auto& name : c.names) options.files.emplace_back(name, scenariotest::updateFile());
  RunResult r = run(options);
  EXPECT_TRUE(has(r.lines, "state readerVariant=" + std::to_string(c.variant)));
  EXPECT_TRUE(has(r.lines, "state updateFileCount=" + std::to_string(c.count)));
  EXPECT_TRUE(has(r.lines, "dialog 102 open"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, StartupVariants,
    ::testing::Values(VariantCase{{"FW_MC.DFU"}, 4, 1},
                      VariantCase{{"FW_MC_KA.DFU"}, 1, 1},
                      VariantCase{{"fw_mc.dfu"}, 2, 1},
                      VariantCase{{"A_PE.DFU", "B_RG.DFU"}, 8, 2},
                      VariantCase{{"A_KA.DFU", "B_LB.DFU", "C_MC.DFU"}, 3, 2}));

TEST(Startup, ThreeFilesKeepTheFirstTwoInListingOrder) {
  EmptyFolder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  for (const char* name : {"A_KA.DFU", "B_LB.DFU", "C_MC.DFU"}) {
    options.files.emplace_back(name, scenariotest::updateFile());
  }
  RunResult r = run(options);
  int first = indexOf(r.lines, "state updateFileNames[0]=A_KA.DFU");
  int second = indexOf(r.lines, "state updateFileNames[1]=B_LB.DFU");
  EXPECT_GE(first, 0);
  EXPECT_GE(second, 0);
  EXPECT_TRUE(has(r.lines, "text 102.1005 \"Firmware Version : 02.05/02.05\""));
}

TEST(Startup, CorruptSecondFileEndsWithTheBoxAndNoDialog) {
  EmptyFolder empty;
  simkit::ScenarioOptions options;
  options.folder = empty.path();
  options.files = {{"A_KA.DFU", scenariotest::updateFile()},
                   {"B_KA.DFU", scenariotest::corruptUpdateFile()}};
  RunResult r = run(options);
  EXPECT_EQ(simkit::Outcome::Ended, r.outcome);
  EXPECT_TRUE(has(r.lines, kUpdateFileBox));
  EXPECT_FALSE(hasPrefix(r.lines, "dialog"));
}

TEST(Startup, CancelInTheWarningEndsBeforeAnythingChanges) {
  simkit::ScenarioOptions options;
  options.answers["attention"] = "cancel";
  simkit::Scenario scenario(options);
  sim::FileSystem& files = scenario.pc().files();
  auto before = snapshot(files, "C:");
  ASSERT_EQ(simkit::Outcome::Ended, scenario.run());
  EXPECT_TRUE(has(scenario.transcript(), "dialog 134 end 2"));
  EXPECT_FALSE(has(scenario.transcript(), "dialog 102 open"));
  EXPECT_FALSE(before.empty());
  EXPECT_EQ(before, snapshot(files, "C:"));
}

TEST(Startup, EscapeInTheWarningEndsLikeCancel) {
  simkit::ScenarioOptions options;
  options.actions = {{500, "escape"}};
  RunResult r = run(options);
  EXPECT_TRUE(has(r.lines, "dialog 134 end 2"));
  EXPECT_FALSE(has(r.lines, "dialog 102 open"));
}

TEST(Startup, SecondCopyEndsWithoutAWindowAndTheFirstGoesOn) {
  simkit::ScenarioOptions options;
  options.secondInstance = true;
  RunResult r = run(options);
  EXPECT_EQ(simkit::Outcome::Ended, r.outcome);
  for (const std::string& e : events(r.lines)) {
    if (e.rfind("[Norbix.exe#2]", 0) != 0) continue;
    EXPECT_EQ(std::string::npos, e.find("dialog")) << e;
    EXPECT_EQ(std::string::npos, e.find("msgbox")) << e;
  }
  EXPECT_TRUE(hasPrefix(r.lines, "[Norbix.exe#2]"));
  EXPECT_TRUE(has(r.lines, "dialog 102 end 1"));
}

TEST(Startup, JapaneseSystemGetsJapaneseTexts) {
  simkit::ScenarioOptions options;
  options.japanese = true;
  RunResult r = run(options);
  EXPECT_TRUE(has(r.lines,
                  "text 134.1015 \"実行中のアプリケーションを終了してから「OK」を押して下さい。"
                  "\\r\\nアップデートしない時は、「キャンセル」を押して終了して下さい。\\r\\n\\r\\n"
                  "継続した場合、カードリーダは、再接続するか、パソコンを再起動するまでご使用に"
                  "なれなくなります。\""));
  EXPECT_TRUE(has(r.lines, "text 102.1017 \"・・・　接続してください　・・・\""));
  EXPECT_TRUE(has(r.lines, "text 102.1005 \"Firmware Version : 02.05\""));
}

}  // namespace
