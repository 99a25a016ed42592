#include "platform/filewrite.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "tests/support/sim_machine.h"

namespace {

const std::string kDir = "C:\\Data\\";
const std::string kFile = kDir + "state.ini";
const std::string kOld = "[A]\r\nx=1\r\n[B]\r\ny=2\r\n";

struct Failure {
  const char* what;
  const char* machineIni;  // sections added to machine.ini
  sim::Faults faults;      // set after the machine is loaded
  const char* cause;       // the system's text the log line must carry
};

// Full disk (room for the log line, not for the file), a refusing folder, the
// temporary's write failing, the rename failing.
const std::string kBig(4096, 'n');
const Failure kFailures[] = {
    {"disk full", "", {0, 0, 1000}, "112-There is not enough space on the disk."},
    {"folder denied", "[Denied]\r\nC:\\Data=write\r\n", {}, "5-Access is denied."},
    {"write of the temporary fails", "", {1, 0, -1}, "112-There is not enough space on the disk."},
    {"rename fails", "", {2, 0, -1}, "5-Access is denied."},
};

TEST(WriteFileChecked, AFailedWriteKeepsTheOldFileLeavesNoTemporaryAndNamesTheCause) {
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.what);
    SimMachine m;
    m.File(kFile, kOld);
    m.MachineIni(f.machineIni);
    RunContext rc;
    m.Start(rc);
    sim::SetFaults(f.faults);
    EXPECT_FALSE(WriteFileChecked(rc, kFile, kBig));
    EXPECT_EQ(m.Read(kFile), kOld);
    EXPECT_FALSE(m.Exists(kFile + kTempSuffix));
    EXPECT_TRUE(m.Logged("ERR : Could not write " + kFile + ". ErrDesc: " + f.cause));
  }
}

TEST(WriteFileChecked, ReplacesTheWholeFileWhenItSucceeds) {
  SimMachine m;
  m.File(kFile, kOld);
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(WriteFileChecked(rc, kFile, "new\r\n"));
  EXPECT_EQ(m.Read(kFile), "new\r\n");
  EXPECT_FALSE(m.Exists(kFile + kTempSuffix));
  EXPECT_TRUE(WriteFileChecked(rc, kDir + "fresh.txt", ""));
  EXPECT_TRUE(m.Exists(kDir + "fresh.txt"));
}

TEST(CopyFileChecked, TheSourceGoesOnlyOnceTheCopyIsComplete) {
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.what);
    SimMachine m;
    m.File("C:\\Out\\rec.txt", kBig);
    m.File(kDir + "rec.txt", "old copy\r\n");
    m.MachineIni(f.machineIni);
    RunContext rc;
    m.Start(rc);
    sim::SetFaults(f.faults);
    EXPECT_FALSE(CopyFileChecked(rc, "C:\\Out\\rec.txt", kDir + "rec.txt", true));
    EXPECT_EQ(m.Read("C:\\Out\\rec.txt"), kBig);
    EXPECT_EQ(m.Read(kDir + "rec.txt"), "old copy\r\n");
    EXPECT_FALSE(m.Exists(kDir + "rec.txt" + kTempSuffix));
    EXPECT_TRUE(m.Logged("ERR : Could not copy " + kDir + "rec.txt. ErrDesc: " + f.cause));
  }
}

TEST(CopyFileChecked, ASourceThatCannotBeDeletedIsNamed) {
  SimMachine m;
  m.File("C:\\Out\\rec.txt", "r\r\n");
  m.File(kDir + ".keep", "");
  m.MachineIni("[Denied]\r\nC:\\Out\\rec.txt=write\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_FALSE(CopyFileChecked(rc, "C:\\Out\\rec.txt", kDir + "rec.txt", true));
  EXPECT_EQ(m.Read(kDir + "rec.txt"), "r\r\n");
  EXPECT_TRUE(m.Logged("ERR : Could not delete C:\\Out\\rec.txt after copying it to " + kDir +
                       "rec.txt. ErrDesc: 5-Access is denied."));
}

TEST(WriteIniValue, AFailedUpdateKeepsEverySection) {
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.what);
    SimMachine m;
    m.File(kFile, kOld);
    m.MachineIni(f.machineIni);
    RunContext rc;
    m.Start(rc);
    sim::SetFaults(f.faults);
    EXPECT_FALSE(WriteIniValue(rc, kFile, "B", "y", kBig));
    EXPECT_EQ(m.Read(kFile), kOld);
  }
}

TEST(WriteIniValue, ValuesFromOutsideStayOnOneLine) {
  SimMachine m;
  m.File(kFile, kOld);
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(WriteIniValue(rc, kFile, "a", "x", "0\r\n[Evil]\r\nz=\t1"));
  EXPECT_EQ(m.Read(kFile), "[A]\r\nx=0  [Evil]  z= 1\r\n[B]\r\ny=2\r\n");
}

TEST(SetIniValue, EditsAsWritePrivateProfileStringDoes) {
  struct Case {
    const char* text;
    const char* section;
    const char* key;
    const char* result;
  };
  const Case cases[] = {
      {"", "S", "k", "[S]\r\nk=v\r\n"},
      {"[s]\r\nK = old\r\n[T]\r\n", "S", "k", "[s]\r\nk=v\r\n[T]\r\n"},
      {"[S]\r\na=1\r\n\r\n[T]\r\nk=2\r\n", "S", "k", "[S]\r\na=1\r\nk=v\r\n\r\n[T]\r\nk=2\r\n"},
      {"[T]\nk=2", "S", "k", "[T]\r\nk=2\r\n[S]\r\nk=v\r\n"},
      {"[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "S", "k", "[S]\r\nk=v\r\n[S]\r\nk=2\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetIniValue(c.text, c.section, c.key, "v"), c.result) << c.text;
}

// The sim's own writes report what the disk did: a full disk is a failure,
// not a file that quietly ends early.
TEST(SimFiles, WritesReportAFullDisk) {
  SimMachine m;
  m.File(kFile, kOld);
  m.MachineIni("[Faults]\r\nFreeSpace=3\r\n");
  m.Load();
  EXPECT_EQ(os::WriteWholeFile(kDir + "big.txt", "0123456789"), os::kErrorDiskFull);
  EXPECT_EQ(m.Read(kDir + "big.txt"), "012");  // what fitted
  EXPECT_FALSE(os::WritePrivateProfileString("C", "k", std::string(50, 'v'), kDir + "other.ini"));
  EXPECT_EQ(os::GetLastError(), static_cast<uint32_t>(os::kErrorDiskFull));
  // Deleting gives the space back.
  EXPECT_EQ(os::DeleteFile(kFile), 0);
  EXPECT_EQ(os::WriteWholeFile(kDir + "small.txt", "0123456789"), 0);
}

TEST(SimFiles, FaultHooksCountEveryChange) {
  SimMachine m;
  m.File(kFile, kOld);
  m.Load();
  sim::SetFaults({3, 0, -1});
  EXPECT_EQ(os::WriteWholeFile(kDir + "a.txt", "a"), 0);  // 1
  EXPECT_EQ(os::MoveFileEx(kDir + "a.txt", kDir + "b.txt"), 0);  // 2
  EXPECT_EQ(os::WriteWholeFile(kDir + "c.txt", "cccc"), os::kErrorDiskFull);  // 3: half written
  EXPECT_EQ(m.Read(kDir + "c.txt"), "cc");
  EXPECT_TRUE(sim::FaultFired());
  EXPECT_EQ(sim::FaultPath(), kDir + "c.txt");
  EXPECT_EQ(os::DeleteFile(kDir + "c.txt"), 0);  // 4
  EXPECT_EQ(sim::ChangesSoFar(), 4);
  EXPECT_EQ(m.Read(kDir + "b.txt"), "a");
  EXPECT_FALSE(m.Exists(kDir + "a.txt"));
}

}  // namespace
