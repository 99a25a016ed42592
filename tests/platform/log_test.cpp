#include "platform/log.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/support/sim_machine.h"

namespace {

const std::string kLog = std::string(SimMachine::kAppFolder) + "\\" + kLogFileName;

TEST(RunLog, LinesCarryTheVirtualTimeATabAndCrLf) {
  SimMachine m;
  m.MachineIni("[Clock]\r\nStart=2026-02-28 23:59:59\r\n");
  RunContext rc;
  m.Start(rc, "  FORCE  ");
  os::Sleep(1500);
  WriteLog(rc, "MSG : one");
  WriteLog(rc, "\r\n");
  WriteLog(rc, "MSG : two\r\nsecond half");
  EXPECT_EQ(m.Read(kLog),
            "02/28/2026 23:59:59\tMSG : Application Started\r\n"
            "02/28/2026 23:59:59\tMSG : CommandLine Parameters are :: FORCE\r\n"
            "02/28/2026 23:59:59\tMSG : Exe Version :: " AVDEF_FILE_VERSION "\r\n"
            "03/01/2026 00:00:00\tMSG : one\r\n"
            "03/01/2026 00:00:00\t\r\n\r\n"
            "03/01/2026 00:00:00\tMSG : two\r\nsecond half\r\n");
  EXPECT_EQ(rc.AppFolder, SimMachine::kAppFolder);
}

TEST(RunLog, EmptyCommandLineAndUnversionedExecutable) {
  SimMachine m;
  m.System("ProgramPath=C:\\Tools\\other.exe\r\n");
  m.MachineIni("[FileVersions]\r\nC:\\Tools\\other.exe=\r\n");
  m.File("C:\\Tools\\other.exe", "");
  RunContext rc;
  m.Start(rc);
  const std::string log = m.Read("C:\\Tools\\" + std::string(kLogFileName));
  EXPECT_NE(log.find("\tMSG : CommandLine Parameters are :: \r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\tMSG : Exe Version :: \r\n"), std::string::npos) << log;
}

TEST(RunLog, WritingWithoutAnOpenLogIsSilent) {
  SimMachine m;
  m.Load();
  RunContext rc;
  WriteLog(rc, "MSG : lost");
  EXPECT_FALSE(m.Exists(kLog));
}

TEST(RunLog, EndRunWritesTheEndLinesAndUnwinds) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  EXPECT_THROW(EndRun(rc, 0), RunEnded);
  EXPECT_FALSE(rc.LogStream.valid());
  const auto messages = m.LogMessages();
  ASSERT_GE(messages.size(), 4u);
  const size_t n = messages.size();
  EXPECT_EQ(messages[n - 4], "MSG : Application Ended");
  EXPECT_EQ(messages[n - 3], "====================================END====================================================");
  EXPECT_EQ(messages[n - 2], "");
  EXPECT_EQ(messages[n - 1], "");
}

TEST(RunLog, DeleteFileLoggedLogsThenDeletes) {
  SimMachine m;
  m.File("C:\\Work\\old.txt", "x");
  RunContext rc;
  m.Start(rc);
  DeleteFileLogged(rc, "C:\\Work\\old.txt");
  DeleteFileLogged(rc, "C:\\Work\\missing.txt");  // errors are ignored
  EXPECT_FALSE(m.Exists("C:\\Work\\old.txt"));
  EXPECT_TRUE(m.Logged("MSG : Deleting File C:\\Work\\old.txt"));
  EXPECT_TRUE(m.Logged("MSG : Deleting File C:\\Work\\missing.txt"));
}

}  // namespace
