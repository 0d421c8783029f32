// Every scenario PC has the updater's companions: launched as the updater
// launches them, keyprune removes the device keys and hushrun64 has the
// command interpreter copy a driver file.
#include <gtest/gtest.h>

#include <string>

#include "sim/filesystem.h"
#include "sim/registry.h"
#include "simkit/scenario.h"

namespace {

using namespace platform;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";

TEST(ScenarioCompanions, KeypruneAndHushrunRunWhenLaunchedThroughTheShell) {
  simkit::ScenarioOptions options;
  options.os = sim::WindowsVersion::WinXP64;
  simkit::Scenario scenario(options);
  sim::SimPc& pc = scenario.pc();
  ASSERT_NE(pc.program("cmd.exe"), nullptr);
  ASSERT_NE(pc.program("keyprune.exe"), nullptr);
  ASSERT_NE(pc.program("hushrun64.exe"), nullptr);
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  pc.registry().createKey(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_2e51&Pid_2201\\inst\\Device Parameters", &device);
  pc.registry().createKey(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_1c3a&Pid_1101\\inst", &device);
  pc.registry().createKey(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_9999&Pid_0001", &device);
  pc.files().writeFile("C:\\NORBIX\\zandfu.sys", "driver");
  const std::string target = pc.systemFolder() + "\\drivers\\zandfu.sys";
  pc.files().makeFolder(pc.systemFolder() + "\\drivers");
  pc.installProgram("launcher.exe", [&](Platform& p) -> DWORD {
    for (const char* id : {"Vid_2e51&Pid_2201", "Vid_1c3a&Pid_1101"}) {
      p.kernel.sleep(200);
      p.shell.shellExecuteA(0, "open", "C:\\NORBIX\\keyprune.exe", (kUsb + "\\" + id).c_str(),
                            nullptr, SW_HIDE);
    }
    p.shell.shellExecuteA(0, "open", "C:\\NORBIX\\hushrun64.exe",
                          ("cmd /ccopy zandfu.sys " + target).c_str(), nullptr, SW_HIDE);
    return 0;
  });
  pc.startProcess("C:\\NORBIX\\launcher.exe", "\"C:\\NORBIX\\launcher.exe\"", "C:\\NORBIX");
  ASSERT_EQ(pc.run(3600 * 1000), sim::RunEnd::Finished);
  EXPECT_FALSE(pc.registry().exists(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_2e51&Pid_2201"));
  EXPECT_FALSE(pc.registry().exists(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_1c3a&Pid_1101"));
  EXPECT_TRUE(pc.registry().exists(HKEY_LOCAL_MACHINE, kUsb + "\\Vid_9999&Pid_0001"));
  EXPECT_EQ(pc.files().readFile(target), "driver");
}

}  // namespace
