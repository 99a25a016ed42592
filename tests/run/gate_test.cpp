#include "run/gate.h"

#include <gtest/gtest.h>

#include "base/dates.h"
#include "run/driver.h"
#include "tests/support/agent_machine.h"
#include "tests/support/mock_server.h"

namespace {

const std::string kAvgIni = std::string(SimMachine::kAppFolder) + "\\LastAVGUpdated.ini";

// ---- Dates ---------------------------------------------------------------------

TEST(DateText, ReadsEveryFormTheAgentWritesAndRejectsOthers) {
  struct Case {
    const char* text;
    bool ok;
    os::LocalTime t;
  };
  const Case cases[] = {
      {"Dec/07/2026 00:41:50", true, {2026, 12, 7, 0, 41, 50, 0}},
      {"dec/07/2026 23:05:09", true, {2026, 12, 7, 23, 5, 9, 0}},
      {"12/07/2026 15:05:09", true, {2026, 12, 7, 15, 5, 9, 0}},
      {"12/7/2026 3:05:09 PM", true, {2026, 12, 7, 15, 5, 9, 0}},
      {"12/7/2026 12:00:00 AM", true, {2026, 12, 7, 0, 0, 0, 0}},
      {"2/29/2028", true, {2028, 2, 29, 0, 0, 0, 0}},
      {"2/29/2027", false, {}},
      {"Dec/07/2026 24:00:00", false, {}},
      {"13/07/2026 10:00:00", false, {}},
      {"12/7/2026 13:00:00 PM", false, {}},
      {"Dec 07 2026", false, {}},
      {"", false, {}},
      {"yesterday", false, {}},
  };
  for (const Case& c : cases) {
    os::LocalTime t;
    ASSERT_EQ(ParseDateTime(c.text, &t), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(FormatGeneralDateTime(t), FormatGeneralDateTime(c.t)) << c.text;
  }
  // What is written is read back.
  const os::LocalTime noon{2026, 1, 2, 12, 30, 0, 0};
  EXPECT_EQ(FormatGeneralDateTime(noon), "1/2/2026 12:30:00 PM");
  os::LocalTime back;
  ASSERT_TRUE(ParseDateTime(FormatGeneralDateTime(noon), &back));
  EXPECT_EQ(FormatGeneralDateTime(back), "1/2/2026 12:30:00 PM");
}

TEST(DateText, CountsClockHourAndCalendarDayBoundaries) {
  struct Case {
    os::LocalTime from, to;
    int64_t hours, days;
  };
  const Case cases[] = {
      {{2026, 12, 7, 10, 59, 0, 0}, {2026, 12, 7, 11, 1, 0, 0}, 1, 0},
      {{2026, 12, 7, 10, 1, 0, 0}, {2026, 12, 7, 10, 59, 0, 0}, 0, 0},
      {{2026, 12, 6, 23, 59, 59, 0}, {2026, 12, 7, 0, 0, 0, 0}, 1, 1},
      {{2026, 12, 31, 22, 0, 0, 0}, {2027, 1, 1, 2, 0, 0, 0}, 4, 1},
      {{2026, 12, 7, 12, 0, 0, 0}, {2026, 12, 7, 9, 0, 0, 0}, -3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HourBoundariesBetween(c.from, c.to), c.hours);
    EXPECT_EQ(DayBoundariesBetween(c.from, c.to), c.days);
  }
}

// ---- ChkLastRunTime --------------------------------------------------------------

TEST(ChkLastRunTime, OpensAfterFourClockHourBoundaries) {
  struct Case {
    const char* lastRun;
    const char* now;
    bool opens;
  };
  const Case cases[] = {
      {"Dec/07/2026 09:59:00", "2026-12-07 13:00:00", true},
      {"Dec/07/2026 09:59:00", "2026-12-07 12:59:59", false},
      {"Dec/07/2026 09:00:00", "2026-12-07 12:59:59", false},
      {"Dec/06/2026 23:59:59", "2026-12-07 03:00:00", true},
      {"Dec/07/2026 13:00:00", "2026-12-07 13:00:00", false},
  };
  for (const Case& c : cases) {
    SimMachine m;
    InstallAgent(m, "", c.now);
    m.File(kStateIni, std::string("[LastRunDateTime]\r\nLastRun=") + c.lastRun + "\r\n");
    RunContext rc;
    m.Start(rc);
    EXPECT_EQ(ChkLastRunTime(rc), c.opens) << c.lastRun << " -> " << c.now;
    EXPECT_EQ(rc.RunGateIniPath, kStateIni);
    const std::string closedLine = std::string("MSG : Application Previous run time is less than 4 HOURS. Last run Time ") +
                                   c.lastRun + " and now it's " +
                                   FormatLastRunTime(os::Now());
    EXPECT_EQ(m.Logged(closedLine), !c.opens) << c.lastRun << " -> " << c.now;
    // A closed gate reads no download times.
    EXPECT_EQ(rc.InternetDownloadDue.norton, c.opens);
  }
}

TEST(ChkLastRunTime, FutureLastRunDeletesTheFileAndTheNextRunGoesAhead) {
  SimMachine m;
  InstallAgent(m, "", "2026-12-07 12:59:00");
  m.File(kStateIni, "[LastRunDateTime]\r\nLastRun=Dec/07/2026 13:00:00\r\n[LastExcludeStatus]\r\nExcludeUpdate=0\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_FALSE(ChkLastRunTime(rc));
  EXPECT_TRUE(m.Logged("MSG : Last Run Date For Antivirus Update is Greater Than Current Date. Last Run date time is "
                       "Dec/07/2026 13:00:00 And Now its 12/7/2026 12:59:00 PM"));
  EXPECT_TRUE(m.Logged("MSG : Deleting File " + kStateIni));
  EXPECT_FALSE(m.Exists(kStateIni));

  RunContext next;
  next.AppFolder = rc.AppFolder;
  EXPECT_TRUE(ChkLastRunTime(next));
  EXPECT_EQ(m.Read(kStateIni), "[LastRunDateTime]\r\nLastRun=Dec/07/2026 12:59:00\r\n");
}

TEST(ChkLastRunTime, FirstRunCreatesTheFileAndEveryDownloadIsDue) {
  SimMachine m;
  InstallAgent(m, "", "2026-12-07 00:41:50");
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(ChkLastRunTime(rc));
  EXPECT_EQ(m.Read(kStateIni), "[LastRunDateTime]\r\nLastRun=Dec/07/2026 00:41:50\r\n");
  EXPECT_TRUE(rc.InternetDownloadDue.norton);
  EXPECT_TRUE(rc.InternetDownloadDue.mcafee);
  EXPECT_TRUE(rc.InternetDownloadDue.mse);
  EXPECT_TRUE(rc.InternetDownloadDue.trendMicro);
}

TEST(ChkLastRunTime, DownloadIsDueAfterMoreThan24ClockHours) {
  SimMachine m;
  InstallAgent(m, "", "2026-12-08 10:00:00");
  m.File(kStateIni,
         "[LastRunDateTime]\r\nLastRun=Dec/07/2026 00:00:00\r\n"
         "[LastInternetDownload]\r\nNorton=Dec/07/2026 10:59:59\r\nMCAfee=Dec/07/2026 09:59:59\r\n"
         "EScan=Dec/01/2026 00:00:00\r\nMSE=  \r\nTrendMicro=Dec/08/2026 09:00:00\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(ChkLastRunTime(rc));
  EXPECT_FALSE(rc.InternetDownloadDue.norton);     // 24 boundaries
  EXPECT_TRUE(rc.InternetDownloadDue.mcafee);      // 25
  EXPECT_TRUE(rc.InternetDownloadDue.mse);         // blank: never
  EXPECT_FALSE(rc.InternetDownloadDue.trendMicro);
  const std::vector<std::string> expected = {
      "MSG : Last Norton Definition Downloaded :: Dec/07/2026 10:59:59",
      "MSG : Last MCAfee Definition Downloaded :: Dec/07/2026 09:59:59",
      "MSG : Last EScan Definition Downloaded :: Dec/01/2026 00:00:00",
      "MSG : Last TrendMicro Definition Downloaded :: Dec/08/2026 09:00:00",
  };
  std::vector<std::string> logged;
  for (const std::string& line : m.LogMessages()) {
    if (line.rfind("MSG : Last ", 0) == 0) logged.push_back(line);
  }
  EXPECT_EQ(logged, expected);
}

TEST(ChkLastRunTime, AStoredValueThatIsNoDateOpensTheGateWithTheErrorLine) {
  SimMachine m;
  InstallAgent(m, "");
  m.File(kStateIni, "[LastRunDateTime]\r\nLastRun=not a date\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(ChkLastRunTime(rc));
  EXPECT_TRUE(m.Logged("ERR : in function ChkLastRunTime : 13Type mismatch"));
  EXPECT_FALSE(rc.InternetDownloadDue.norton);
  EXPECT_FALSE(rc.InternetDownloadDue.mse);
}

// ---- Exclusion decision ------------------------------------------------------------

struct ExclusionCase {
  const char* name;
  MockServer::Reply reply;
  const char* storedBefore;  // nullptr: no LastAVDefUpd.ini
  int16_t exclusion;
  const char* storedAfter;  // ExcludeUpdate afterwards; nullptr: file absent
  const char* logLine;      // nullptr: none expected
};

TEST(DecideUpdateExclusion, ServerReplyOrStoredReplyDecides) {
  const std::string withZero = "[LastExcludeStatus]\r\nExcludeUpdate=0\r\n";
  const std::string withOne = "[LastExcludeStatus]\r\nExcludeUpdate=1\r\n";
  const std::string noValue = "[LastRunDateTime]\r\nLastRun=Dec/06/2026 00:00:00\r\n";
  // A captive portal's page: larger than any answer, so no answer at all.
  const std::string portal = "0 <html>" + std::string(200 * 1024, 'x') + "</html>";
  const ExclusionCase cases[] = {
      {"a reply over 64 KB is no reply", {portal}, withOne.c_str(), 1, "1",
       "ERR : WebPost Failed : the reply is longer than 65536 bytes-234 - the reply was not read"},
      // The number it decided is stored, so no second line reaches the file.
      {"a line break in the reply stores its number", {"0\r\n[LastRunDateTime]\r\nLastRun=Jan/01/2099 00:00:00"},
       nullptr, 0, "0", nullptr},
      {"excluded", {"1"}, nullptr, 1, "1", nullptr},
      {"not excluded", {"0"}, withOne.c_str(), 0, "0", nullptr},
      {"-1 used, not stored", {"-1"}, withOne.c_str(), -1, "1", nullptr},
      {"no number", {"<error>norecords</error>"}, nullptr, 0, "<error>norecords</error>", nullptr},
      {"half to even down", {" 2.5"}, nullptr, 2, "2.5", nullptr},
      {"half to even up", {"3.5xyz"}, nullptr, 4, "3.5xyz", nullptr},
      {"no reply, stored 0", {"", 200, 0, true}, withZero.c_str(), 0, "0", nullptr},
      {"no reply, stored 1", {"", 200, 0, true}, withOne.c_str(), 1, "1", nullptr},
      {"no reply, nothing stored", {"", 200, 0, true}, noValue.c_str(), 1, "",
       "MSG : LastExcludeStatus Section not found in LastAVDefUpd.ini"},
      {"no reply, no file", {"", 200, 0, true}, nullptr, 1, nullptr,
       "ERR : Webpost to check for update exclusion failed and LastAVDefUpd.ini not found"},
      {"error page is no reply", {"0", 500}, withOne.c_str(), 1, "1", nullptr},
      {"out of range, stored 0", {"70000"}, withZero.c_str(), 0, "0",
       "ERR : Exclusion reply out of range : 70000"},
      {"out of range, no file", {"-32769"}, nullptr, 1, nullptr,
       "ERR : Exclusion reply out of range : -32769"},
  };
  for (const ExclusionCase& c : cases) {
    SCOPED_TRACE(c.name);
    MockServer server;
    server.On("/wp//tfr_wpavupdtexclude.asp", c.reply);
    SimMachine m;
    InstallAgent(m, server.BaseUrl() + "wp/");
    if (c.storedBefore != nullptr) m.File(kStateIni, c.storedBefore);
    RunContext rc;
    m.Start(rc);
    SetIdentity(rc);
    DecideUpdateExclusion(rc);
    EXPECT_EQ(rc.UpdateExclusion, c.exclusion);
    if (c.storedAfter == nullptr) {
      EXPECT_FALSE(m.Exists(kStateIni));
    } else {
      std::string stored;
      (void)os::GetPrivateProfileString("LastExcludeStatus", "ExcludeUpdate", "", 100, kStateIni, &stored);
      EXPECT_EQ(stored, c.storedAfter);
    }
    if (c.logLine != nullptr) {
      EXPECT_TRUE(m.Logged(c.logLine));
    }
    if (m.Exists(kStateIni)) {
      // One section of the program's own: nothing the server sent adds one.
      const std::string text = m.Read(kStateIni);
      EXPECT_EQ(text.find("[LastRunDateTime]\r\nLastRun=Jan"), std::string::npos) << text;
      EXPECT_LT(text.size(), 1024u);
    }
    // Text from outside shows in the log as a bounded part, on its line.
    for (const std::string& message : m.LogMessages()) EXPECT_LT(message.size(), 1024u);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/wp//tfr_wpavupdtexclude.asp?mmid=3301&sid=17&rid=100245&rty=QRTA");
    EXPECT_EQ(requests[0].body, "<wpavupdtexclude><regid>100245</regid></wpavupdtexclude>");
  }
}

// A run without an answer decides from the stored copy; it must decide as
// the answer itself did, whatever the server sent.
TEST(DecideUpdateExclusion, TheStoredCopyDecidesAsTheReplyDid) {
  struct Case {
    std::string reply;
    int16_t exclusion;
    const char* stored;  // ExcludeUpdate afterwards
  };
  const Case cases[] = {
      {"1", 1, "1"},
      {"<error>norecords</error>", 0, "<error>norecords</error>"},
      {" 2.5", 2, "2.5"},
      {"0.5000000001", 1, "1"},  // nine characters would read 0.5000000, which rounds to 0
      {"0000000001", 1, "1"},
      {"1000000000", 0, "0"},  // out of range: the copy stored before decides, and stays
      {std::string("\0" "1", 2), 0, "0"},
      {std::string("0\0" "1", 3), 0, "0"},
      {"\n0", 0, "0"},
      {"0\r\n[LastRunDateTime]\r\nLastRun=Jan/01/2020 00:00:00", 0, "0"},
      {"\"1\"", 0, "0"},
      {"'3'", 0, "0"},
      {"  7  ", 7, "7"},
      {"12344.50000001", 12345, "12345"},  // nine characters would round to even, 12344
      {"-32768", -32768, "-32768"},
      {"-0.5", 0, "-0.5"},
      {"1e2", 100, "1e2"},
      {"\x7f" "5", 0, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.reply));
    MockServer server;
    server.On("/wp//tfr_wpavupdtexclude.asp", {c.reply});
    SimMachine m;
    InstallAgent(m, server.BaseUrl() + "wp/");
    m.File(kStateIni, "[LastExcludeStatus]\r\nExcludeUpdate=0\r\n");
    RunContext live;
    m.Start(live);
    SetIdentity(live);
    DecideUpdateExclusion(live);
    std::string stored;
    (void)os::GetPrivateProfileString("LastExcludeStatus", "ExcludeUpdate", "", 100, kStateIni, &stored);

    server.On("/wp//tfr_wpavupdtexclude.asp", {"", 200, 0, true});
    RunContext later;
    m.Start(later);
    SetIdentity(later);
    DecideUpdateExclusion(later);
    EXPECT_EQ(live.UpdateExclusion, c.exclusion);
    EXPECT_EQ(later.UpdateExclusion, live.UpdateExclusion);
    EXPECT_EQ(stored, c.stored);
    // Nothing in the reply reaches other keys of the file.
    std::string lastRun;
    (void)os::GetPrivateProfileString("LastRunDateTime", "LastRun", "", 100, kStateIni, &lastRun);
    EXPECT_EQ(lastRun, "");
  }
}

TEST(DecideUpdateExclusion, NoServerAddressExcludesWithoutAPost) {
  MockServer server;
  server.On("/wp//tfr_wpavupdtexclude.asp", {"0"});
  SimMachine m;
  InstallAgent(m, "");
  m.File(kStateIni, "[LastExcludeStatus]\r\nExcludeUpdate=0\r\n");
  RunContext rc;
  m.Start(rc);
  SetIdentity(rc);
  DecideUpdateExclusion(rc);
  EXPECT_EQ(rc.UpdateExclusion, 1);
  EXPECT_FALSE(m.Logged("MSG : Webpost url : /tfr_wpavupdtexclude.asp?mmid=3301&sid=17&rid=100245&rty=QRTA"));
  EXPECT_TRUE(server.Requests().empty());
}

// ---- ChkAVGUpdatedToday ------------------------------------------------------------

TEST(ChkAVGUpdatedToday, OncePerCalendarDay) {
  SimMachine m;
  InstallAgent(m, "", "2026-12-07 23:00:00");
  RunContext rc;
  m.Start(rc);
  EXPECT_TRUE(ChkAVGUpdatedToday(rc));
  EXPECT_EQ(m.Read(kAvgIni), "[LASTAVGUPDATED]\r\nUpdatedon=12/07/2026 23:00:00\r\n");
  EXPECT_FALSE(m.Logged("MSG : Checking For Last AVG Updated date time..."));

  os::Sleep(59 * 60 * 1000);  // 23:59
  EXPECT_FALSE(ChkAVGUpdatedToday(rc));
  EXPECT_TRUE(m.Logged("MSG : Checking For Last AVG Updated date time..."));
  EXPECT_TRUE(m.Logged("MSG : AVG Has Been Updated For The Day..\""));

  os::Sleep(2 * 60 * 1000);  // 00:01 the next day
  EXPECT_TRUE(ChkAVGUpdatedToday(rc));
}

TEST(ChkAVGUpdatedToday, AStampThatIsNoDateKeepsAVGFromUpdating) {
  SimMachine m;
  InstallAgent(m, "");
  m.File(kAvgIni, "[LASTAVGUPDATED]\r\nUpdatedon=soon\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_FALSE(ChkAVGUpdatedToday(rc));
  EXPECT_TRUE(m.Logged("ERR : Error While Checking For Last AVG Updated date time..."));
}

}  // namespace
