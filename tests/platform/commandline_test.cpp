#include "platform/commandline.h"

#include <gtest/gtest.h>

#include "sim_machine_fixture.h"

namespace {

using Lines = std::vector<std::string>;

class CommandLines : public simtest::SimMachineTest {
 protected:
  void SetUp() override { Load(simtest::MachineFiles{}); }
};

TEST_F(CommandLines, QuotingAndRefusal) {
  const struct {
    const char* value;
    QuoteFor where;
    bool ok;
    const char* quoted;
  } cases[] = {
      {"C:\\PROGRA~2\\Agent\\x.exe", QuoteFor::kCmdLine, true, "C:\\PROGRA~2\\Agent\\x.exe"},
      {"C:\\Program Files (x86)\\x.exe", QuoteFor::kCreateProcess, true, "\"C:\\Program Files (x86)\\x.exe\""},
      {"C:\\A&B\\x.exe", QuoteFor::kCmdLine, true, "\"C:\\A&B\\x.exe\""},
      {"C:\\A^B|C<D>\\", QuoteFor::kCmdLine, true, "\"C:\\A^B|C<D>\\\\\""},  // the closing quote stays one
      {"C:\\Tools\\", QuoteFor::kCreateProcess, true, "C:\\Tools\\"},
      {"C:\\My Tools\\", QuoteFor::kCreateProcess, true, "\"C:\\My Tools\\\\\""},
      {"C:\\100%\\x.exe", QuoteFor::kBatchLine, true, "\"C:\\100%%\\x.exe\""},
      {"C:\\100%\\x.exe", QuoteFor::kCreateProcess, true, "\"C:\\100%\\x.exe\""},
      {"C:\\100%\\x.exe", QuoteFor::kCmdLine, false, ""},
      {"C:\\a\" & calc & \"\\x.exe", QuoteFor::kCreateProcess, false, ""},
      {"C:\\a\r\nstart evil.exe", QuoteFor::kBatchLine, false, ""},
      {"", QuoteFor::kCreateProcess, true, "\"\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Load(simtest::MachineFiles{});
    std::string quoted = "unchanged";
    EXPECT_EQ(QuoteArgument(rc, c.value, c.where, "the tool", &quoted), c.ok);
    if (c.ok) {
      EXPECT_EQ(quoted, c.quoted);
      EXPECT_TRUE(LogLines().empty());
    } else {
      EXPECT_EQ(quoted, "unchanged");
      ASSERT_EQ(LogLines().size(), 1u);
      EXPECT_EQ(LogLines()[0].rfind("ERR : Refused to run the tool: C:\\", 0), 0u);
    }
  }
}

TEST_F(CommandLines, CmdAndBatchLines) {
  EXPECT_EQ(CmdCommandLine("C:\\T\\x.exe /v > \"C:\\o.txt\""),
            "C:\\Windows\\system32\\cmd.exe /c C:\\T\\x.exe /v > \"C:\\o.txt\"");
  EXPECT_EQ(CmdCommandLine("\"C:\\A B\\x.exe\" /v > \"C:\\o.txt\""),
            "C:\\Windows\\system32\\cmd.exe /s /c \"\"C:\\A B\\x.exe\" /v > \"C:\\o.txt\"\"");
  std::string line;
  ASSERT_TRUE(BatchCommandLine(rc, "C:\\PROGRA~2\\Agent\\os.bat", &line));
  EXPECT_EQ(line, "\"C:\\PROGRA~2\\Agent\\os.bat\"");
  ASSERT_TRUE(BatchCommandLine(rc, "C:\\Program Files (x86)\\Agent\\os.bat", &line));
  EXPECT_EQ(line, "C:\\Windows\\system32\\cmd.exe /s /c \"\"C:\\Program Files (x86)\\Agent\\os.bat\"\"");
  EXPECT_FALSE(BatchCommandLine(rc, "C:\\50%\\os.bat", &line));
}

// A batch file is written whole and afresh: what an earlier run (or anyone)
// left in it never runs.
TEST_F(CommandLines, BatchFileWrittenAfresh) {
  Load(simtest::MachineFiles{"", "", {{"Program Files (x86)\\Agent\\LiveUpdate.bat", "C:\\evil.exe\r\n"}}});
  const std::string path = "C:\\Program Files (x86)\\Agent\\LiveUpdate.bat";
  ASSERT_TRUE(WriteBatchFile(rc, path, {"@echo off", "\"C:\\T\\x.exe\" /q"}));
  std::string bytes;
  ASSERT_EQ(os::ReadWholeFile(path, &bytes), 0);
  EXPECT_EQ(bytes, "@echo off\r\n\"C:\\T\\x.exe\" /q\r\n");
}

}  // namespace
