#include "run/driver.h"

#include <gtest/gtest.h>

#include "platform/log.h"
#include "tests/support/sim_machine.h"

namespace {

const std::string kLastRunIni = std::string(SimMachine::kAppFolder) + "\\LastAVDefUpd.ini";

TEST(FormatLastRunTime, EnglishMonthAndZeroPadding) {
  struct Case {
    os::LocalTime t;
    const char* text;
  };
  const Case cases[] = {
      {{2026, 12, 7, 0, 41, 50, 0}, "Dec/07/2026 00:41:50"},
      {{2027, 1, 31, 23, 5, 9, 999}, "Jan/31/2027 23:05:09"},
      {{2026, 9, 1, 12, 0, 0, 0}, "Sep/01/2026 12:00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLastRunTime(c.t), c.text);
}

TEST(RunStatement, ReRegistersOnceThenRetriesTheStatement) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  int attempts = 0;
  RunStatement(rc, [&] {
    if (++attempts == 1) throw RtError::CannotCreateObject();
  });
  EXPECT_EQ(attempts, 2);
  EXPECT_TRUE(rc.LibReRegistered);
  EXPECT_FALSE(m.Exists(kLastRunIni));
}

TEST(RunStatement, LibraryNotRegisteredIsTreatedLikeMissingObject) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  int attempts = 0;
  RunStatement(rc, [&] {
    if (++attempts == 1) throw RtError{kTypeLibNotRegistered, "Library not registered."};
  });
  EXPECT_EQ(attempts, 2);
}

TEST(RunStatement, ASecondObjectErrorTakesTheFailurePath) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  rc.LibReRegistered = true;
  // A status file is open: the failure is recorded in it.
  const std::string status = std::string(SimMachine::kAppFolder) + "\\status.ini";
  rc.StatusFileName = "status.ini";
  rc.StatusOpen = true;
  rc.StatusText = "[STATUS_INFO]\r\nREGID=1\r\nPID=Antivirus Update\r\n";
  EXPECT_THROW(RunStatement(rc, [] { throw RtError::CannotCreateObject(); }), RunEnded);
  EXPECT_TRUE(m.Logged("ERR : in Main :: 429:ActiveX component can't create object"));
  EXPECT_TRUE(m.Logged("MSG : Application Ended"));
  // Complete, but without an agent folder it cannot be handed over: it waits.
  EXPECT_EQ(m.Read(status),
            "[STATUS_INFO]\r\nREGID=1\r\nPID=Antivirus Update\r\nDesc=429\r\nLastRunStatusCode=FAILED\r\n");
  EXPECT_EQ(m.Read(kLastRunIni), "[LastRunDateTime]\r\nLastRun=Dec/07/2026 00:41:50\r\n");
}

TEST(RunStatement, OtherErrorsEndTheRunAtOnce) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  int attempts = 0;
  EXPECT_THROW(RunStatement(rc,
                            [&] {
                              ++attempts;
                              throw RtError::PathNotFound();
                            }),
               RunEnded);
  EXPECT_EQ(attempts, 1);
  EXPECT_FALSE(rc.LibReRegistered);
  EXPECT_TRUE(m.Logged("ERR : in Main :: 76:Path not found"));
}

TEST(RunSequence, SiteSequencePausesNineteenSeconds) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  const os::LocalTime before = os::Now();
  RunSiteSequence(rc);
  const os::LocalTime after = os::Now();
  EXPECT_EQ((after.minute * 60 + after.second) - (before.minute * 60 + before.second), 19);
  // Each step: a time-stamp-only line and an empty line, then the banner;
  // the separator stands alone, last.
  const auto messages = m.LogMessages();
  std::vector<size_t> banners;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].rfind("****", 0) == 0) banners.push_back(i);
  }
  ASSERT_EQ(banners.size(), 28u);
  for (size_t at : banners) {
    ASSERT_GE(at, 2u);
    EXPECT_EQ(messages[at - 1], "") << messages[at];
    EXPECT_EQ(messages[at - 2], "") << messages[at];
  }
  EXPECT_EQ(messages[banners.front()], "********************WindowsDefender******************************");
  EXPECT_EQ(messages.back(), std::string(91, '='));
}

struct ModeCase {
  int16_t exclusion;
  const char* agentType;
  const char* expectedLine;    // must be logged
  const char* unexpectedLine;  // must not be logged
};

TEST(ChooseModeAndRun, ExclusionAndAgentTypePickTheSequence) {
  const char* const kExcluded = "MSG : Resource is excluded from Antivirus Exclusion Update";
  const char* const kDetails = "**********************NortonServer_Details***********************";
  const char* const kSite = "****************************NortonSite_Updation*************************";
  const char* const kGateway = "**********************NortonCheck_Updation(Gateway)****************";
  const ModeCase cases[] = {
      {1, "QRTA", kDetails, kSite},
      {2, "XYZA", kDetails, kGateway},
      {-2, "VXNA", kDetails, kGateway},
      {-1, "QRTA", kSite, kExcluded},
      {0, "QRTA", kSite, kDetails},
      {0, "VXNA", kGateway, kSite},
      {-1, "VXNA", kGateway, kExcluded},
      {0, "qrta", nullptr, nullptr},
      {0, "", nullptr, nullptr},
  };
  for (const ModeCase& c : cases) {
    SimMachine m;
    m.File("C:\\Program Files (x86)\\Agent\\KovaMobile.ini", "[Download]\r\nAVDownload=http://gw\r\n");
    RunContext rc;
    m.Start(rc);
    rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
    rc.UpdateExclusion = c.exclusion;
    rc.AgentType = c.agentType;
    ChooseModeAndRun(rc);
    if (c.expectedLine == nullptr) {
      // No mode: nothing after the start lines.
      EXPECT_EQ(m.LogMessages().size(), 3u) << c.agentType;
      continue;
    }
    EXPECT_TRUE(m.Logged(c.expectedLine)) << c.exclusion << " " << c.agentType;
    EXPECT_FALSE(m.Logged(c.unexpectedLine)) << c.exclusion << " " << c.agentType;
    if (std::string(c.expectedLine) == kDetails) {
      EXPECT_TRUE(m.Logged(kExcluded));
    }
  }
}

TEST(SelectXmlHttpProgId, PrefersVersionFourThenThree) {
  struct Case {
    std::vector<const char*> dlls;
    const char* progId;
  };
  const Case cases[] = {
      {{"msxml4.dll", "msxml3.dll"}, "MSXML2.ServerXMLHTTP.4.0"},
      {{"MSXML3.DLL"}, "MSXML2.ServerXMLHTTP.3.0"},
      {{}, "MSXML2.ServerXMLHTTP.2.0"},
  };
  for (const Case& c : cases) {
    SimMachine m;
    for (const char* dll : c.dlls) m.File(std::string("C:\\Windows\\SysWOW64\\") + dll, "");
    RunContext rc;
    m.Start(rc);
    SelectXmlHttpProgId(rc);
    EXPECT_EQ(rc.XmlHttpProgId, c.progId);
  }
}

}  // namespace
