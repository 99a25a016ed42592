#include "run/status.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "tests/support/sim_machine.h"

namespace {

const std::string kApp = SimMachine::kAppFolder;
const std::string kAgent = "C:\\Program Files (x86)\\Agent\\";

void StartAgent(SimMachine& m, RunContext& rc) {
  m.File(kAgent + "Status\\.keep", "");
  m.File(kAgent + "PMStatus\\.keep", "");
  m.Start(rc);
  rc.RegId = "100245";
  rc.AgentType = "QRTA";
  rc.AgentInstallPath = kAgent;
  rc.ExeVersion = "0.1.0.0";
}

const char* const kComplete = "[STATUS_INFO]\r\nREGID=1\r\nPID=Antivirus Update\r\nLastRunStatusCode=SUCCESS\r\n";

TEST(FncWriteStatusFile, HeaderLinesWithTheNextRunFourHoursOn) {
  SimMachine m;
  m.MachineIni("[Clock]\r\nStart=2026-12-31 22:30:05\r\n");
  RunContext rc;
  StartAgent(m, rc);
  fncWriteStatusFile(rc);
  EXPECT_EQ(rc.StatusFileName, "defRecord_100245_AV_12312026223005.ini");
  rc.StatusOpen = false;
  EXPECT_EQ(m.Read(kApp + "\\" + rc.StatusFileName),
            "[STATUS_INFO]\r\nREGID=100245\r\nPID=Antivirus Update\r\nSysID=0.1.0.0\r\n"
            "LastRunDateTime=12/31/2026 22:30:05\r\nNextRunDateTime=01/01/2027 02:30:05\r\n");
}

TEST(FncWriteStatusFile, ASecondRunInTheSameSecondTakesTheNextSecond) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  m.File(kAgent + "PMStatus\\defRecord_100245_AV_12072026004150.ini", kComplete);
  fncWriteStatusFile(rc);
  EXPECT_EQ(rc.StatusFileName, "defRecord_100245_AV_12072026004151.ini");
  EXPECT_EQ(m.Read(kAgent + "PMStatus\\defRecord_100245_AV_12072026004150.ini"), kComplete);
}

struct PidCase {
  const char* what;
  bool found, written;
  const char* description;
  const char* lines;  // what subUpdatePID adds
};

TEST(SubUpdatePID, DescriptionAndStatusCodeForEachOutcome) {
  const PidCase cases[] = {
      {"nothing found", false, false, "", "Desc=NOTSUPPORTED_NOTINSTALLED\r\nLastRunStatusCode=FAILED\r\n"},
      {"found and recorded, no sentences", true, true, "", "Desc= \r\nLastRunStatusCode=SUCCESS\r\n"},
      {"found and recorded with a sentence", true, true, "Failed to read CA 12 AV Definition.",
       "Desc= Failed to read CA 12 AV Definition.\r\nLastRunStatusCode=SUCCESS\r\n"},
      {"found, reader failed", true, false, "Failed to read EScan AV Definition.",
       "Desc=Failed to read EScan AV Definition.\r\nLastRunStatusCode=FAILED\r\n"},
      {"blank description counts as none", true, false, "   ",
       "Desc=NOTSUPPORTED_NOTINSTALLED\r\nLastRunStatusCode=FAILED\r\n"},
  };
  for (const PidCase& c : cases) {
    SimMachine m;
    RunContext rc;
    StartAgent(m, rc);
    fncWriteStatusFile(rc);
    rc.ProductFound = c.found;
    rc.RecordWritten = c.written;
    rc.StatusDescription = c.description;
    subUpdatePID(rc);
    rc.StatusOpen = false;
    const std::string text = m.Read(kApp + "\\" + rc.StatusFileName);
    ASSERT_GE(text.size(), std::string(c.lines).size());
    EXPECT_EQ(text.substr(text.size() - std::string(c.lines).size()), c.lines) << c.what;
  }
}

TEST(FncCheck4ValidPID, NeedsRegidPidAndStatusCode) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {kComplete, true},
      {"[status_info]\r\nregid = 1\r\npid=x\r\nlastrunstatuscode=FAILED\r\n", true},
      {"[STATUS_INFO]\r\nREGID=1\r\nPID=Antivirus Update\r\n", false},
      {"[STATUS_INFO]\r\nREGID= \r\nPID=x\r\nLastRunStatusCode=FAILED\r\n", false},
      {"[OTHER]\r\nREGID=1\r\nPID=x\r\nLastRunStatusCode=FAILED\r\n", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SimMachine m;
    m.File("C:\\s.ini", c.text);
    RunContext rc;
    m.Start(rc);
    EXPECT_EQ(FncCheck4ValidPID(rc, "C:\\s.ini"), c.valid) << c.text;
  }
}

TEST(CopyStatusToPMStatus, HandsOverCompleteFilesAndDeletesIncompleteOnes) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  fncWriteStatusFile(rc);
  WriteStatusLine(rc, "Desc=NOTSUPPORTED_NOTINSTALLED");
  WriteStatusLine(rc, "LastRunStatusCode=FAILED");
  EXPECT_TRUE(CopyStatusToPMStatus(rc));
  EXPECT_FALSE(rc.StatusOpen);
  EXPECT_FALSE(m.Exists(kApp + "\\" + rc.StatusFileName));
  EXPECT_TRUE(m.Exists(kAgent + "PMStatus\\" + rc.StatusFileName));
  EXPECT_TRUE(m.Logged("MSG : Status File " + rc.StatusFileName + " Copied successfully to " + kAgent + "PMStatus"));
  WriteStatusLine(rc, "late");  // nothing is open any more

  SimMachine incomplete;
  RunContext rc2;
  StartAgent(incomplete, rc2);
  fncWriteStatusFile(rc2);
  EXPECT_FALSE(CopyStatusToPMStatus(rc2));
  EXPECT_FALSE(incomplete.Exists(kApp + "\\" + rc2.StatusFileName));
  EXPECT_FALSE(incomplete.Exists(kAgent + "PMStatus\\" + rc2.StatusFileName));
  EXPECT_TRUE(incomplete.Logged("Deleteing Incomplete PID file " + kApp + "\\" + rc2.StatusFileName));
}

TEST(CopyStatusToPMStatus, MissingPMStatusLeavesTheFileForTheNextRun) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  rc.RegId = "1";
  rc.AgentInstallPath = kAgent;
  fncWriteStatusFile(rc);
  WriteStatusLine(rc, "LastRunStatusCode=FAILED");
  EXPECT_FALSE(CopyStatusToPMStatus(rc));
  EXPECT_TRUE(m.Exists(kApp + "\\" + rc.StatusFileName));
  EXPECT_TRUE(m.Logged("ERR : Could not hand over the status file " + kAgent + "PMStatus\\" + rc.StatusFileName +
                       ". ErrDesc: 3-The system cannot find the path specified."));
}

// An immutable PMStatus folder: nothing reaches it, the file waits whole, and
// the log says why.
TEST(CopyStatusToPMStatus, ARefusingPMStatusIsNamedAndTheFileWaitsWhole) {
  SimMachine m;
  m.MachineIni("[Denied]\r\nC:\\Program Files (x86)\\Agent\\PMStatus=write\r\n");
  RunContext rc;
  StartAgent(m, rc);
  fncWriteStatusFile(rc);
  WriteStatusLine(rc, "LastRunStatusCode=FAILED");
  EXPECT_FALSE(CopyStatusToPMStatus(rc));
  EXPECT_TRUE(FncCheck4ValidPID(rc, kApp + "\\" + rc.StatusFileName));
  EXPECT_FALSE(m.Exists(kAgent + "PMStatus\\" + rc.StatusFileName));
  EXPECT_TRUE(m.Logged("ERR : Could not hand over the status file " + kAgent + "PMStatus\\" + rc.StatusFileName +
                       ". ErrDesc: 5-Access is denied."));
}

// Each line rewrites the whole file: a status file is never torn, and a
// full disk keeps the lines written before it.
TEST(WriteStatusLine, AFullDiskKeepsTheLinesWrittenBefore) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  rc.LogStream.Close();
  fncWriteStatusFile(rc);
  const std::string path = kApp + "\\" + rc.StatusFileName;
  const std::string header = m.Read(path);
  sim::SetFaults({0, 0, 0});
  WriteStatusLine(rc, "Desc= x");
  EXPECT_EQ(m.Read(path), header);
  sim::SetFaults({});
  WriteStatusLine(rc, "LastRunStatusCode=SUCCESS\r\n[Other]");
  EXPECT_EQ(m.Read(path), header + "Desc= x\r\nLastRunStatusCode=SUCCESS  [Other]\r\n");
}

TEST(SubPreExistingFiles, SortsLeftoversOfEarlierRuns) {
  SimMachine m;
  const std::string record =
      "<regid>1</regid>\r\n<sdt>s</sdt>\r\n<category>c</category>\r\n<bcurdef></bcurdef>\r\n"
      "<blastdef></blastdef>\r\n<acurdef></acurdef>\r\n<alastdef></alastdef>\r\n"
      "<bscanengno></bscanengno>\r\n<status>0</status>\r\n";
  m.File(kApp + "\\defrecord_1_AV_0101202600000012.TXT", record);
  // Torn by a kill: never delivered, never counted as a report.
  m.File(kApp + "\\defrecord_1_AV_0101202600000013.txt", record.substr(0, 60));
  m.File(kApp + "\\defrecord_1_AV_0101202600000014.txt", "");
  // Temporaries of writes a kill cut short.
  m.File(kApp + "\\LastAVDefUpd.ini.avdef-tmp", "[LastRun");
  m.File(kAgent + "Status\\defrecord_1_AV_0101202600000015.txt.avdef-tmp", "<regid>");
  m.File(kApp + "\\defRecord_1_AV_01012026000000.ini", kComplete);
  m.File(kApp + "\\DEFRECORD_1_AV_01012026000001.INI", "[STATUS_INFO]\r\nREGID=1\r\nPID=x\r\n");
  for (const char* name : {"navdefdownload.ini", "ViPreDefVer.txt", "AVGDef.txt", "defver.txt",
                           "SophosDefVer.txt.old", "lpt$vpn.123"}) {
    m.File(kApp + "\\" + name, "x");
  }
  m.File(kApp + "\\keep.txt", "x");
  RunContext rc;
  StartAgent(m, rc);
  subPreExistingFiles(rc);
  EXPECT_EQ(m.Read(kAgent + "Status\\defrecord_1_AV_0101202600000012.TXT"), record);
  for (const char* torn : {"defrecord_1_AV_0101202600000013.txt", "defrecord_1_AV_0101202600000014.txt"}) {
    EXPECT_FALSE(m.Exists(kAgent + "Status\\" + torn)) << torn;
    EXPECT_TRUE(m.Logged("MSG : Incomplete data file " + kApp + "\\" + torn)) << torn;
    EXPECT_FALSE(m.Exists(kApp + "\\" + torn)) << torn;
  }
  EXPECT_FALSE(m.Exists(kApp + "\\LastAVDefUpd.ini.avdef-tmp"));
  EXPECT_FALSE(m.Exists(kAgent + "Status\\defrecord_1_AV_0101202600000015.txt.avdef-tmp"));
  EXPECT_EQ(m.Read(kAgent + "PMStatus\\defRecord_1_AV_01012026000000.ini"), kComplete);
  EXPECT_FALSE(m.Exists(kAgent + "PMStatus\\DEFRECORD_1_AV_01012026000001.INI"));
  EXPECT_TRUE(m.Logged("MSG : Incomplete PID file " + kApp + "\\DEFRECORD_1_AV_01012026000001.INI"));
  for (const char* name : {"defrecord_1_AV_0101202600000012.TXT", "defRecord_1_AV_01012026000000.ini",
                           "DEFRECORD_1_AV_01012026000001.INI", "navdefdownload.ini", "ViPreDefVer.txt",
                           "AVGDef.txt", "defver.txt", "SophosDefVer.txt.old", "lpt$vpn.123"}) {
    EXPECT_FALSE(m.Exists(kApp + "\\" + name)) << name;
  }
  EXPECT_TRUE(m.Exists(kApp + "\\keep.txt"));
  EXPECT_EQ(rc.AvgInfoExe, kApp + "\\cAvginfo.exe");
}

// A leftover record that cannot be deleted after its hand-over would be
// delivered again by every run: the log says so each time.
TEST(SubPreExistingFiles, ALeftoverThatCannotBeDeletedIsNamed) {
  SimMachine m;
  const std::string name = "defrecord_1_AV_0101202600000012.txt";
  m.File(kApp + "\\" + name,
         "<regid>1</regid>\r\n<sdt>s</sdt>\r\n<category>c</category>\r\n<bcurdef></bcurdef>\r\n"
         "<blastdef></blastdef>\r\n<acurdef></acurdef>\r\n<alastdef></alastdef>\r\n"
         "<bscanengno></bscanengno>\r\n<status>0</status>\r\n");
  m.MachineIni("[Denied]\r\n" + kApp + "\\" + name + "=write\r\n");
  RunContext rc;
  StartAgent(m, rc);
  subPreExistingFiles(rc);
  EXPECT_TRUE(m.Exists(kAgent + "Status\\" + name));
  EXPECT_TRUE(m.Logged("ERR : Could not delete " + kApp + "\\" + name + " after copying it to " + kAgent +
                       "Status\\" + name + ". ErrDesc: 5-Access is denied."));
}

TEST(SubDeleteUnwantedFiles, RemovesTheDefinitionToolsAndTheStrayFolder) {
  SimMachine m;
  for (const char* name : {"CAInnDefinition.exe", "CAVetDefinition.exe", "defver.txt", "other.exe"}) {
    m.File(kApp + "\\" + name, "x");
  }
  m.File(kApp + "\\\x94\\inner.txt", "x");
  RunContext rc;
  m.Start(rc);
  subDeleteUnwantedFiles(rc);
  EXPECT_TRUE(m.Logged("MSG : Deleting file " + kApp + "\\CAVetDefinition.exe"));
  EXPECT_FALSE(m.Exists(kApp + "\\CAInnDefinition.exe"));
  EXPECT_FALSE(m.Exists(kApp + "\\defver.txt"));
  EXPECT_FALSE(m.Exists(kApp + "\\\x94"));
  EXPECT_TRUE(m.Exists(kApp + "\\other.exe"));
}

}  // namespace
