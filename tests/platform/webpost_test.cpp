#include "platform/webpost.h"

#include <stdlib.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/xml.h"
#include "tests/support/agent_machine.h"
#include "tests/support/mock_server.h"

namespace {

const char* const kExclusionPage = "/wp//tfr_wpavupdtexclude.asp";
const char* const kVersionPage = "/wp//tfr_wpgetavversion.asp";
const char* const kViprePage = "/wp//tfr_wpavvendef.asp";

// Shortens the sim backend's time-outs for the life of one test.
class ShortTimeout {
 public:
  explicit ShortTimeout(const char* ms) { setenv("AVDEFUPDATE_WEBPOST_TIMEOUT_MS", ms, 1); }
  ~ShortTimeout() { unsetenv("AVDEFUPDATE_WEBPOST_TIMEOUT_MS"); }
};

struct Agent {
  SimMachine m;
  RunContext rc;
  explicit Agent(const std::string& serverBase, const std::string& kovaMobileIni = "") {
    if (kovaMobileIni.empty()) {
      InstallAgent(m, serverBase);
    } else {
      InstallAgent(m, serverBase, "2026-12-07 00:41:50", kovaMobileIni);
    }
    m.Start(rc);
    SetIdentity(rc);
  }
};

// ---- FncWebPost --------------------------------------------------------------------

TEST(FncWebPost, PostsTheBodyAsXmlAndReturnsTheReply) {
  MockServer server;
  server.On("/wp/page.asp", {"42"});
  Agent a(server.BaseUrl());
  std::string error = "untouched";
  const std::string url = server.BaseUrl() + "wp/page.asp?x=1";
  EXPECT_EQ(FncWebPost(a.rc, "<q>1</q>", url, &error), "42");
  EXPECT_EQ(error, "untouched");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/wp/page.asp?x=1");
  EXPECT_EQ(requests[0].body, "<q>1</q>");
  EXPECT_EQ(requests[0].headers.at("content-type"), "text/xml");
  const std::vector<std::string> log = a.m.LogMessages();
  const std::vector<std::string> tail(log.end() - 3, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"MSG : Webpost string : <q>1</q>", "MSG : Webpost url : " + url,
                                            "MSG : WebPost Return Status: 42"}));
}

TEST(FncWebPost, FailuresGiveAnEmptyReplyAndSayWhy) {
  struct Case {
    const char* name;
    MockServer::Reply reply;
    bool refused;
    std::string errorPrefix;  // "first-second"
  };
  const Case cases[] = {
      {"error status", {"0", 500}, false, "HTTP/1.1 500 Internal Server Error-500"},
      {"not found", {"", 404}, false, "HTTP/1.1 404 Not Found-404"},
      {"closed without reply", {"", 200, 0, true}, false, "Empty reply from server-52"},
      {"slow reply", {"1", 200, 3000}, false, "-28"},
      {"refused", {}, true, "-7"},
  };
  ShortTimeout shortTimeout("400");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MockServer server;
    if (c.reply.status != 404) server.On("/p", c.reply);
    const std::string base =
        c.refused ? "http://127.0.0.1:" + std::to_string(MockServer::RefusingPort()) + "/" : server.BaseUrl();
    Agent a(base);
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FncWebPost(a.rc, "<q/>", base + "p", &error), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(error.find(c.errorPrefix + " - "), std::string::npos) << error;
    EXPECT_TRUE(a.m.Logged("MSG : WebPost Return Status: "));
    EXPECT_TRUE(a.m.Logged("ERR : WebPost Failed : " + error));
    EXPECT_EQ(server.Requests().size(), c.refused ? 0u : 1u);
  }
}

TEST(FncWebPost, GoesThroughTheConfiguredProxyWithItsCredentials) {
  MockServer proxy;
  proxy.On("/wp/page.asp", {"7"});
  // "user" and "pw" as the agent stores them.
  const std::string ini = "[ProxySettings]\r\nProxyIP=127.0.0.1\r\nProxyPort=" + std::to_string(proxy.port()) +
                          "\r\nProxyUserName=117H115H101H114\r\nProxyPassword=112H119\r\n";
  Agent a("", ini);
  EXPECT_EQ(FncWebPost(a.rc, "<q/>", "http://avserver.invalid/wp/page.asp?a=b", nullptr), "7");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "http://avserver.invalid/wp/page.asp?a=b");
  EXPECT_EQ(requests[0].headers.at("proxy-authorization"), "Basic dXNlcjpwdw==");
}

// ---- URLs and the latest-version post ----------------------------------------------

TEST(WebPostUrl, KeepsTheDoubleSlashAndEncodesOnlyWhatWouldChangeTheQuery) {
  RunContext rc;
  SetIdentity(rc);
  EXPECT_EQ(WebPostUrl(rc, "http://srv/kova/", "wpavupdtexclude"),
            "http://srv/kova//tfr_wpavupdtexclude.asp?mmid=3301&sid=17&rid=100245&rty=QRTA");
  rc.RegId = "12 3&x=#y";
  rc.AgentType = "Q-R_T.A~";
  rc.MemberId = "\xe9/%";
  EXPECT_EQ(WebPostUrl(rc, "http://srv/", "wpavvendef"),
            "http://srv//tfr_wpavvendef.asp?mmid=%E9%2F%25&sid=17&rid=12%203%26x%3D%23y&rty=Q-R_T.A~");
  // The body carries the value as it is.
  EXPECT_EQ(ExclusionPostBody(rc), "<wpavupdtexclude><regid>12 3&x=#y</regid></wpavupdtexclude>");
}

TEST(FncGetLatestAvVersion, SplitsTheReplyAtEveryDoubleAt) {
  struct Case {
    const char* reply;
    bool ok;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"2026-12-01@@6123.0000", true, {"2026-12-01", "6123.0000"}},
      {"2026-12-01@@", true, {"2026-12-01", ""}},
      {"a@@b@@c", true, {"a", "b", "c"}},
      {"2026-12-01", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    MockServer server;
    server.On(kVersionPage, {c.reply});
    Agent a(server.BaseUrl() + "wp/");
    std::vector<std::string> fields;
    EXPECT_EQ(FncGetLatestAvVersion(a.rc, "MCAFEE", &fields), c.ok);
    EXPECT_EQ(a.rc.WebPostReply, c.reply);
    if (c.ok) {
      EXPECT_EQ(fields, c.fields);
    }
    EXPECT_EQ(a.m.Logged(std::string("MSG : failed to received Webpost return val :: ") + c.reply), !c.ok);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body, "<wpgetavversion>MCAFEE</wpgetavversion>");
    EXPECT_EQ(server.Requests()[0].target, std::string(kVersionPage) + "?mmid=3301&sid=17&rid=100245&rty=QRTA");
  }
}

// ---- VIPRE query -------------------------------------------------------------------

std::string VipreValue(const char* key) {
  std::string value;
  (void)os::GetPrivateProfileString("AVVipreDataFromDC", key, "", 255, kStateIni, &value);
  return value;
}

TEST(FncVipreDefinitionFromDC, AsksOncePerCalendarDay) {
  MockServer server;
  server.On(kViprePage, {"<?xml version=\"1.0\"?>\n<wpavvendef>\n  <vdate>12/06/2026</vdate>\n"
                         "  <defver> 53012 </defver>\n</wpavvendef>"});
  Agent a(server.BaseUrl() + "wp/");
  std::string version = "stale";
  ASSERT_TRUE(fncVipreDefinitionFromDC(a.rc, &version));
  EXPECT_EQ(version, "53012");
  EXPECT_EQ(VipreValue("OnDate"), "12/7/2026 12:41:50 AM");
  EXPECT_EQ(VipreValue("DefDate"), "12/06/2026");
  EXPECT_EQ(VipreValue("DefVer"), "53012");
  EXPECT_TRUE(a.m.Logged("MSG : Vipre GetData From DC Webpost Successful"));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].target, std::string(kViprePage) + "?mmid=3301&sid=17&rid=100245&rty=QRTA");
  EXPECT_EQ(server.Requests()[0].body,
            "<wpavvendef><regid>100245</regid><mntime>12/7/2026 12:41:50 AM</mntime>"
            "<avcategory>vipre</avcategory></wpavvendef>");

  // Later the same day: no post, the not-due line once per pass.
  os::Sleep(23 * 3600 * 1000);  // 23:41:50
  EXPECT_FALSE(fncVipreDefinitionFromDC(a.rc, &version));
  EXPECT_EQ(version, "");
  EXPECT_EQ(server.Requests().size(), 1u);
  int notDue = 0;
  for (const std::string& line : a.m.LogMessages()) {
    notDue += line == "MSG : Vipre GetData From DC DoProcess Flag : False" ? 1 : 0;
  }
  EXPECT_EQ(notDue, 2);

  // After midnight it is due again.
  os::Sleep(20 * 60 * 1000);
  EXPECT_TRUE(fncVipreDefinitionFromDC(a.rc, &version));
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(VipreValue("OnDate"), "12/8/2026 12:01:50 AM");
}

TEST(FncVipreDefinitionFromDC, UnusableRepliesAreRetriedOnceAndLeaveNoState) {
  struct Case {
    MockServer::Reply reply;
    std::string line;
  };
  const Case cases[] = {
      {{"<error>norecords</error>"}, "MSG : Vipre GetData From DC Webpost <error>norecords</error>"},
      {{"<error>Invalid Root Tag</error>"}, "MSG : Vipre GetData From DC Webpost <error>Invalid Root Tag</error>"},
      {{"<error>Invalid XML</error>"}, "MSG : Vipre GetData From DC Webpost <error>Invalid XML</error>"},
      {{"<wpavvendef><vdate>1</vdate>"}, "MSG : Vipre GetData From DC Webpost LoadXML Invalid <wpavvendef><vdate>1</vdate>"},
      {{"<reply><wpavvendef><vdate>1</vdate><defver>2</defver></wpavvendef></reply>"},
       "MSG : Vipre GetData From DC Webpost XML Node wpavvendef Not Found"},
      {{"<wpavvendef/>", 500}, "MSG : Vipre GetData From DC Webpost Failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    MockServer server;
    server.On(kViprePage, c.reply);
    Agent a(server.BaseUrl() + "wp/");
    std::string version;
    EXPECT_FALSE(fncVipreDefinitionFromDC(a.rc, &version));
    EXPECT_EQ(server.Requests().size(), 2u);
    int seen = 0;
    for (const std::string& line : a.m.LogMessages()) seen += line == c.line ? 1 : 0;
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(VipreValue("OnDate"), "");
  }
}

TEST(FncVipreDefinitionFromDC, AReplyWithoutDefverIsAnErrorAfterOnDateIsWritten) {
  MockServer server;
  server.On(kViprePage, {"<wpavvendef><vdate>12/06/2026</vdate></wpavvendef>"});
  Agent a(server.BaseUrl() + "wp/");
  std::string version;
  EXPECT_FALSE(fncVipreDefinitionFromDC(a.rc, &version));
  EXPECT_TRUE(a.m.Logged("ERR : fncVipreDefinitionFromDC, 91:Object variable or With block variable not set"));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(VipreValue("DefDate"), "12/06/2026");
  EXPECT_EQ(VipreValue("DefVer"), "");
  EXPECT_NE(VipreValue("OnDate"), "");
}

// ---- XML reader --------------------------------------------------------------------

TEST(XmlDocument, FindsTheFirstChildOfTheNamedParentAnywhere) {
  xml::Document doc;
  ASSERT_TRUE(doc.Load("<a><vdate>top</vdate><b><wpavvendef><vdate> x &amp; <i>y</i> </vdate>"
                       "<vdate>second</vdate></wpavvendef></b></a>"));
  EXPECT_FALSE(doc.HasRoot("wpavvendef"));
  EXPECT_TRUE(doc.HasRoot("a"));
  std::string text;
  ASSERT_TRUE(doc.FirstChildText("wpavvendef", "vdate", &text));
  EXPECT_EQ(text, "x & y");
  EXPECT_FALSE(doc.FirstChildText("wpavvendef", "defver", &text));
  EXPECT_FALSE(doc.Load("<a><b></a>"));
  EXPECT_FALSE(doc.Load(""));
  EXPECT_FALSE(doc.HasRoot("a"));
}

// The text of an element is gathered without recursion: a reply nested
// deeper than the stack once ended the run.
TEST(XmlDocument, ReadsARepliesNestedFarDeeperThanTheStack) {
  constexpr int kDepth = 200000;
  std::string text = "<wpavvendef><vdate>";
  for (int i = 0; i < kDepth; ++i) text += "<i>";
  text += "x";
  for (int i = 0; i < kDepth; ++i) text += "</i>";
  text += "</vdate></wpavvendef>";
  xml::Document doc;
  ASSERT_TRUE(doc.Load(text));
  std::string vdate;
  ASSERT_TRUE(doc.FirstChildText("wpavvendef", "vdate", &vdate));
  EXPECT_EQ(vdate, "x");
}

}  // namespace
