#include "platform/osinfo.h"

#include <gtest/gtest.h>

#include "tests/support/sim_machine.h"

namespace {

TEST(SubGetOSVersion, WindowsEightMeansSixPointTwoOrLater) {
  struct Case {
    const char* version;
    bool windows8OrLater;
  };
  const Case cases[] = {{"5.1", false}, {"6.1", false}, {"6.2", true}, {"6.3", true}, {"10.0", true}};
  for (const Case& c : cases) {
    SimMachine m;
    m.System(std::string("Version=") + c.version + "\r\n");
    RunContext rc;
    m.Start(rc);
    EXPECT_FALSE(SubGetOSVersion(rc));
    EXPECT_EQ(rc.Windows8OrLater, c.windows8OrLater) << c.version;
    EXPECT_TRUE(m.Logged(c.windows8OrLater ? "MSG : This is Windows 8 and above Operating System."
                                           : "MSG : This is not a Windows 8 and above Operating System."));
    EXPECT_TRUE(m.Logged("MSG : subGetOSVersion Function return value : False"));
  }
}

TEST(FncCreateWMIObject, NeverTurnsA64BitResultBack) {
  SimMachine m;
  m.System("Bits=32\r\nCaption=Microsoft Windows 7 Professional\r\nSystemType=X86-based PC\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_EQ(fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM"), "Microsoft Windows 7 Professional");
  EXPECT_FALSE(rc.Is64BitOs);
  rc.Is64BitOs = true;  // as an earlier test of the run found
  fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM");
  EXPECT_TRUE(rc.Is64BitOs);
  EXPECT_EQ(rc.OsCaption, "Microsoft Windows 7 Professional");
}

TEST(FncCreateWMIObject, EnvironmentDecidesWithoutWmi) {
  struct Case {
    const char* programFiles;
    bool is64;
    const char* line;
  };
  const Case cases[] = {
      {"C:\\Program Files (x86)", true, "MSG : OS is 64 bit"},
      {"C:\\Program Files", false, "MSG : OS is 32 bit"},
  };
  for (const Case& c : cases) {
    SimMachine m;
    m.System("WMI=unavailable\r\n");
    m.MachineIni(std::string("[Environment]\r\nProgramFiles=") + c.programFiles + "\r\n");
    RunContext rc;
    m.Start(rc);
    EXPECT_EQ(fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM"), "");
    EXPECT_EQ(rc.Is64BitOs, c.is64);
    EXPECT_TRUE(m.Logged("ERR : Failed to Create WMI Object - WIN32_OPERATINGSYSTEM"));
    EXPECT_TRUE(m.Logged("ERR : fncCreateWMIObject ObjectName - WIN32_OPERATINGSYSTEM 424 Object required"));
    EXPECT_TRUE(m.Logged(c.line));
  }
}

TEST(GetWindowsName, CaptionDecidesWhenWmiGaveOne) {
  struct Case {
    const char* caption;
    const char* osName;
    const char* line;
  };
  const Case cases[] = {
      {"Microsoft Windows 8.1 Pro", "Windows 8", "OS Name found by WMI query: Microsoft Windows 8.1 Pro"},
      {"Microsoft Windows 10 Enterprise", "", "Not Supported Operating System"},
      {"Microsoft windows 8 Pro", "", "Not Supported Operating System"},  // exact case only
  };
  for (const Case& c : cases) {
    SimMachine m;
    RunContext rc;
    m.Start(rc);
    rc.OsCaption = c.caption;
    getWindowsName(rc);
    EXPECT_EQ(rc.OsName, c.osName) << c.caption;
    EXPECT_TRUE(m.Logged(c.line)) << c.caption;
  }
}

TEST(GetWindowsName, AsksSystemInfoThroughABatchFileWithoutWmi) {
  SimMachine m;
  m.System("Caption=Microsoft Windows 8 Pro\r\n");
  m.File("C:\\Agent\\keep.txt", "");
  RunContext rc;
  m.Start(rc);
  rc.AgentInstallPath = "C:\\Agent\\";
  const os::LocalTime before = os::Now();
  getWindowsName(rc);
  const os::LocalTime after = os::Now();
  EXPECT_EQ(rc.OsName, "Windows 8");
  EXPECT_TRUE(m.Logged("No OS name found by WMI query"));
  EXPECT_TRUE(m.Logged("Command Printed: systeminfo | findstr /B /C:\"OS Name\">\"C:\\Agent\\osinfo.txt\""));
  EXPECT_TRUE(m.Logged("C:\\Agent\\osinfo.txt exists"));
  EXPECT_TRUE(m.Logged("MSG : Deleting File C:\\Agent\\os.bat"));
  EXPECT_FALSE(m.Exists("C:\\Agent\\osinfo.txt"));
  EXPECT_FALSE(m.Exists("C:\\Agent\\os.bat"));
  // 2 s before starting the batch file, 10 s after it.
  EXPECT_EQ((after.minute * 60 + after.second) - (before.minute * 60 + before.second), 12);
}

TEST(GetWindowsName, ABatchFileThatCannotBeWrittenEndsInTheErrorLine) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  // The folder does not exist: the batch file cannot be written.
  rc.AgentInstallPath = "C:\\Missing\\";
  getWindowsName(rc);
  EXPECT_EQ(rc.OsName, "");
  EXPECT_TRUE(m.Logged("ERR : getWindowsName 76 Path not found"));
  EXPECT_TRUE(m.Logged("MSG : Deleting File C:\\Missing\\osinfo.txt"));
}

}  // namespace
