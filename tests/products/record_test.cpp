#include "products/record.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "tests/support/sim_machine.h"

namespace {

const char* const kAgent = "C:\\Program Files (x86)\\Agent\\";

void StartAgent(SimMachine& m, RunContext& rc, const std::string& agentType = "QRTA") {
  m.File(std::string(kAgent) + "Status\\.keep", "");
  m.Start(rc);
  rc.RegId = " 100245 ";
  rc.AgentType = agentType;
  rc.AgentInstallPath = kAgent;
  rc.RunStartTime = "12/07/2026 00:41:50";
}

TEST(NormaliseDefinition, RemovesLineBreaksSpacesAndWhatFollowsANul) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"1.2 .3\r\n", "1.2.3"},
      {"  12/07/2026 ", "12/07/2026"},
      {std::string("4.1\0junk", 8), "4.1"},
      {std::string(" 7 \0 8", 6), "7"},
      {"a\rb\nc", "a\rb\nc"},  // only CR LF pairs go
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseDefinition(c.in), c.out) << c.in;
}

TEST(DataFileName, EndsWithSecondsSinceMidnightToTheHundredth) {
  struct Case {
    os::LocalTime t;
    const char* name;
  };
  const Case cases[] = {
      {{2026, 12, 7, 9, 15, 7, 250}, "defrecord_R_AV_120720260915073330725.txt"},
      {{2026, 12, 7, 9, 15, 7, 0}, "defrecord_R_AV_1207202609150733307.txt"},
      {{2026, 1, 2, 0, 0, 0, 10}, "defrecord_R_AV_01022026000000001.txt"},
      {{2026, 1, 2, 23, 59, 59, 999}, "defrecord_R_AV_010220262359598639999.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(DataFileName("R", c.t), c.name);
}

TEST(FncsetLogFileNew, WritesNineLinesAndMovesTheFileToStatus) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  std::string before = "1.2 .3\r\n", last, after = " 1.2.3", afterLast;
  ASSERT_TRUE(fncsetLogFile_New(rc, "CA 12", before, last, after, afterLast, "5 1", "0"));
  EXPECT_EQ(before, "1.2.3");  // the caller's variable comes back normalised
  EXPECT_EQ(after, "1.2.3");
  EXPECT_TRUE(rc.RecordWritten);

  const std::string name = "defrecord_ 100245 _AV_120720260041502510.txt";
  const std::string moved = std::string(kAgent) + "Status\\" + name;
  EXPECT_EQ(m.Read(moved),
            "<regid>100245</regid>\r\n<sdt>12/07/2026 00:41:50</sdt>\r\n<category>CA 12</category>\r\n"
            "<bcurdef>1.2.3</bcurdef>\r\n<blastdef></blastdef>\r\n<acurdef>1.2.3</acurdef>\r\n"
            "<alastdef></alastdef>\r\n<bscanengno>5 1</bscanengno>\r\n<status>0</status>\r\n");
  EXPECT_FALSE(m.Exists(std::string(SimMachine::kAppFolder) + "\\" + name));
  EXPECT_TRUE(m.Logged("MSG : Successfully created file " + std::string(SimMachine::kAppFolder) + "\\" + name));
  EXPECT_TRUE(m.Logged("MSG : File " + std::string(SimMachine::kAppFolder) + "\\" + name +
                       " Copied Successfully To " + kAgent + "Status\\"));
}

TEST(FncsetLogFileNew, RecordsWithinOneHundredthNeverReplaceEachOther) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteRecord(rc, "P" + std::to_string(i), "1", "", "1", "", "", "0"));
  // The clock did not move between the records: each waits for a free name.
  std::vector<std::string> names = rc.DataFileNamesUsed;
  ASSERT_EQ(names.size(), 3u);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string text = m.Read(std::string(kAgent) + "Status\\" + names[i]);
    EXPECT_NE(text.find("<category>P" + std::to_string(i) + "</category>"), std::string::npos) << names[i];
  }
}

TEST(FncsetLogFileNew, MissingStatusFolderKeepsTheFileAndCountsTheRecord) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  rc.RegId = "R";
  rc.AgentInstallPath = "C:\\Nowhere\\";
  ASSERT_TRUE(WriteRecord(rc, "NOD32", "1", "", "1", "", "", "0"));
  EXPECT_TRUE(rc.RecordWritten);
  const std::string local = std::string(SimMachine::kAppFolder) + "\\" + rc.DataFileNamesUsed.front();
  EXPECT_TRUE(m.Exists(local));
  EXPECT_TRUE(m.Logged("ERR : File " + local + " Could Not be Copied To C:\\Nowhere\\Status\\"));
}

TEST(FncsetLogFileNew, VxnaAccumulatesWellFormedElementsAndWritesNoFile) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc, "VXNA");
  ASSERT_TRUE(WriteRecord(rc, "A&B <x>", "1 .2", "", "1.2", "", "", "1"));
  ASSERT_TRUE(WriteRecord(rc, "NOD32", "", "", "", "", "", "0"));
  EXPECT_EQ(rc.AntivirusElements,
            "<Antivirus><Category>A&amp;B &lt;x&gt;</Category><BCurrentDefinition>1.2</BCurrentDefinition>"
            "<BLastDefinition></BLastDefinition><ACurrentDefinition>1.2</ACurrentDefinition>"
            "<ALastDefinition></ALastDefinition><BScanEngineNumber></BScanEngineNumber>"
            "<StatusDetail>1</StatusDetail></Antivirus>"
            "<Antivirus><Category>NOD32</Category><BCurrentDefinition></BCurrentDefinition>"
            "<BLastDefinition></BLastDefinition><ACurrentDefinition></ACurrentDefinition>"
            "<ALastDefinition></ALastDefinition><BScanEngineNumber></BScanEngineNumber>"
            "<StatusDetail>0</StatusDetail></Antivirus>");
  EXPECT_TRUE(rc.RecordWritten);
  EXPECT_TRUE(rc.DataFileNamesUsed.empty());
  EXPECT_EQ(m.LogMessages().size(), 3u);  // nothing logged after the start lines
}

TEST(FncsetLogFileNew, DataFileKeepsMarkupAsItIsAndNineLines) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc, "");  // an empty agent type writes a file too
  ASSERT_TRUE(WriteRecord(rc, "AVG\r\nFree <2013>", "a<b&c", "", "a<b&c", "", "", "0"));
  const std::string text = m.Read(std::string(kAgent) + "Status\\" + rc.DataFileNamesUsed.front());
  EXPECT_NE(text.find("<category>AVG  Free <2013></category>\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<bcurdef>a<b&c</bcurdef>\r\n"), std::string::npos);
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 9u);
}

// A value read from the registry or a file may hold any character: each
// field stays on its line, so a record is always nine lines with one <status>.
TEST(FncsetLogFileNew, ControlCharactersInAnyFieldBecomeSpaces) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  ASSERT_TRUE(WriteRecord(rc, "NOD\n32", "16188\n<status>1</status>", "a\rb", "16188\x01", "\t",
                          "9\r\n<regid>x</regid>", "0\n"));
  const std::string text = m.Read(std::string(kAgent) + "Status\\" + rc.DataFileNamesUsed.front());
  EXPECT_TRUE(IsCompleteRecord(text)) << text;
  EXPECT_EQ(text.find("\n<status>"), text.rfind("\n<status>")) << "one status line";
  EXPECT_NE(text.find("<bcurdef>16188 <status>1</status></bcurdef>\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<blastdef>a b</blastdef>\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<category>NOD 32</category>\r\n"), std::string::npos) << text;
}

TEST(FncsetLogFileNew, ARecordThatCannotBeWrittenWholeIsNotWrittenAtAll) {
  struct Case {
    const char* what;
    sim::Faults faults;
  };
  const Case cases[] = {
      {"full disk", {0, 0, 100}},
      {"the write fails half way", {1, 0, -1}},
      {"the rename fails", {2, 0, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimMachine m;
    RunContext rc;
    StartAgent(m, rc);
    rc.LogStream.Close();  // only the record's own writes count
    sim::SetFaults(c.faults);
    EXPECT_FALSE(WriteRecord(rc, "NOD32", "16188", "", "16188", "", "", "0"));
    EXPECT_FALSE(rc.RecordWritten);
    std::vector<std::string> names;
    ASSERT_EQ(os::ListFiles(std::string(kAgent) + "Status", &names), 0);
    EXPECT_EQ(names, std::vector<std::string>{".keep"});
    ASSERT_EQ(os::ListFiles(SimMachine::kAppFolder, &names), 0);
    for (const std::string& n : names) EXPECT_EQ(n.find("defrecord_"), std::string::npos) << n;
  }
}

TEST(FncsetLogFileNew, AFailedWriteNamesTheFileAndTheCause) {
  SimMachine m;
  m.MachineIni("[Denied]\r\nC:\\Program Files (x86)\\Agent\\Status=write\r\n");
  RunContext rc;
  StartAgent(m, rc);
  // Status refuses: the record stays whole in the program folder for the next run.
  EXPECT_TRUE(WriteRecord(rc, "NOD32", "16188", "", "16188", "", "", "0"));
  const std::string name = rc.DataFileNamesUsed.front();
  EXPECT_TRUE(IsCompleteRecord(m.Read(std::string(SimMachine::kAppFolder) + "\\" + name)));
  EXPECT_TRUE(m.Logged("ERR : Function fncCopyFile. Could not move " + std::string(kAgent) + "Status\\" + name +
                       ". ErrDesc: 5-Access is denied."));
}

TEST(IsCompleteRecord, NineTaggedLinesInOrderAndNothingElse) {
  const std::string whole =
      "<regid>1</regid>\r\n<sdt>s</sdt>\r\n<category>c</category>\r\n<bcurdef></bcurdef>\r\n"
      "<blastdef></blastdef>\r\n<acurdef></acurdef>\r\n<alastdef></alastdef>\r\n"
      "<bscanengno></bscanengno>\r\n<status>0</status>\r\n";
  EXPECT_TRUE(IsCompleteRecord(whole));
  EXPECT_FALSE(IsCompleteRecord(""));
  EXPECT_FALSE(IsCompleteRecord(whole.substr(0, whole.size() - 2)));  // last line unended
  for (size_t cut = 1; cut < whole.size(); cut += 7) {
    EXPECT_FALSE(IsCompleteRecord(whole.substr(0, cut))) << cut;
  }
  EXPECT_FALSE(IsCompleteRecord(whole + "<status>1</status>\r\n"));
  std::string swapped = whole;
  swapped.replace(swapped.find("<sdt>s</sdt>"), 12, "<sdx>s</sdx>");
  EXPECT_FALSE(IsCompleteRecord(swapped));
  std::string bareLf = whole;
  bareLf.replace(bareLf.find("<category>c"), 11, "<category>\nc");
  EXPECT_FALSE(IsCompleteRecord(bareLf));
}

TEST(WriteCALog, RecordsWithStatusOneOrAddsTheSentence) {
  SimMachine m;
  RunContext rc;
  StartAgent(m, rc);
  WriteCALog(rc, "CAVETS", "100", "");
  EXPECT_EQ(rc.StatusDescription, "Failed to read CAVETS AV Definition.");
  EXPECT_FALSE(rc.RecordWritten);
  WriteCALog(rc, "CAVETS", "100", "101");
  ASSERT_EQ(rc.DataFileNamesUsed.size(), 1u);
  const std::string text = m.Read(std::string(kAgent) + "Status\\" + rc.DataFileNamesUsed.front());
  EXPECT_NE(text.find("<bcurdef>100</bcurdef>\r\n<blastdef></blastdef>\r\n<acurdef>101</acurdef>"), std::string::npos);
  EXPECT_NE(text.find("<status>1</status>"), std::string::npos);
}

TEST(AVPresenceCheck, ClosingRecordUnlessAProductWasFoundAndRecorded) {
  struct Case {
    bool found, written, result;
  };
  const Case cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
  for (const Case& c : cases) {
    SimMachine m;
    RunContext rc;
    StartAgent(m, rc);
    rc.ProductFound = c.found;
    rc.RecordWritten = c.written;
    EXPECT_EQ(AVPresence_check(rc), c.result);
    EXPECT_EQ(rc.DataFileNamesUsed.size(), c.result ? 0u : 1u);
    if (!c.result) {
      const std::string text = m.Read(std::string(kAgent) + "Status\\" + rc.DataFileNamesUsed.front());
      EXPECT_NE(text.find("<category>NOTSUPPORTED_NOTINSTALLED</category>"), std::string::npos);
      EXPECT_NE(text.find("<status>0</status>"), std::string::npos);
    }
  }
}

}  // namespace
