#include "platform/transfer.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/identity.h"
#include "tests/scenario/servers.h"
#include "tests/support/agent_machine.h"

namespace {

const std::string kApp = SimMachine::kAppFolder;

class Transfers : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("avdef-transfer-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root_ / "pub" / "defs");
    // A marker that lies beyond the first 50,000 bytes.
    std::ofstream(root_ / "pub" / "page.html", std::ios::binary) << std::string(60000, ' ') << "MARKER";
    std::ofstream(root_ / "pub" / "defs" / "avvdat-9001.zip", std::ios::binary) << "zip bytes";
    std::ofstream(root_ / "pub" / "defs" / "readme.txt", std::ios::binary) << "text";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  void Start(const std::string& kovaMobile = "[Download]\r\nAVDownload=x\r\n") {
    InstallAgent(m_, "", "2026-12-07 00:41:50", kovaMobile);
    m_.Start(rc_);
    SetIdentity(rc_);
  }
  bool Logged(const std::string& line) const { return m_.Logged(line); }
  bool LogHas(const std::string& text) const {
    for (const std::string& line : m_.LogMessages()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::filesystem::path root_;
  SimMachine m_;
  RunContext rc_;
};

TEST_F(Transfers, TheWinInetReadIsOneReadOfAtMost50000Bytes) {
  scenario::HttpFolderServer server(root_, {});
  Start();
  std::string page;
  ASSERT_TRUE(InetReadPage(rc_, "fncNortonDefinition", server.BaseUrl() + "/pub/page.html", &page));
  EXPECT_EQ(page.size(), 50000u);
  EXPECT_EQ(page.find("MARKER"), std::string::npos);
  for (const char* line : {"MSG : Executing Function InternetOpen", "MSG : Successfully Executed Function InternetOpen",
                           "MSG : Executing Function InternetOpenURL", "MSG : Successfully Executed Function InternetOpenURL",
                           "MSG : Executing Function InternetReadFile",
                           "MSG : Successfully Executed Function InternetReadFile"}) {
    EXPECT_TRUE(Logged(line)) << line;
  }
  // The request object reads the whole page.
  std::string whole;
  ASSERT_TRUE(HttpRequestPage(rc_, "fncNortonDefinition", server.BaseUrl() + "/pub/page.html", &whole));
  EXPECT_NE(whole.find("MARKER"), std::string::npos);

  const std::string refused = "http://127.0.0.1:" + std::to_string(scenario::HttpFolderServer(root_, {}).port()) + "/x";
  EXPECT_FALSE(InetReadPage(rc_, "fncNortonDefinition", refused, &page));
  EXPECT_TRUE(LogHas("ERR : fncNortonDefinition - InternetOpenUrl - Failed to open an internet URL. " + refused + " 12029-"));
}

TEST_F(Transfers, TheRequestObjectSucceedsBelow300Only) {
  scenario::HttpFolderServer server(root_, {{"/304", {304, 0, -1}}, {"/204", {204, 0, -1}}, {"/500", {500, 0, -1}}});
  Start();
  struct Case {
    const char* path;
    bool ok;
  };
  for (const Case& c : {Case{"/204", true}, Case{"/304", false}, Case{"/500", false}, Case{"/pub/defs/readme.txt", true}}) {
    std::string page = "unchanged";
    EXPECT_EQ(HttpRequestPage(rc_, "fncMSEDefinition", server.BaseUrl() + c.path, &page), c.ok) << c.path;
    if (std::string(c.path) == "/204") {
      EXPECT_EQ(page, "");
    }
    if (!c.ok) {
      EXPECT_TRUE(LogHas("ERR : fncMSEDefinition - WinHttpRequest.Status = " + std::string(c.path).substr(1) +
                         " - Failed to read an internet file. " + server.BaseUrl() + c.path))
          << c.path;
    }
  }
  // A download needs a body: 204 is no package.
  EXPECT_FALSE(HttpRequestDownload(rc_, "fncMSEDownload", server.BaseUrl() + "/204", kApp + "\\mse.exe", false));
  EXPECT_FALSE(m_.Exists(kApp + "\\mse.exe"));
  EXPECT_TRUE(HttpRequestDownload(rc_, "fncMSEDownload", server.BaseUrl() + "/pub/defs/readme.txt",
                                  kApp + "\\mse.exe", false));
  EXPECT_EQ(m_.Read(kApp + "\\mse.exe"), "text");
}

TEST_F(Transfers, TheRequestObjectGoesThroughTheAgentsProxyWithItsCredentials) {
  // user "proxyuser", password "Pa55w0rd", encoded as the agent stores them.
  scenario::HttpFolderServer proxy(root_, {}, "proxyuser:Pa55w0rd");
  Start("[ProxySettings]\r\nProxyIP=localhost\r\nProxyPort=" + std::to_string(proxy.port()) +
        "\r\nProxyUserName=112H114H111H120H121H117H115H101H114\r\nProxyPassword=80H97H53H53H119H48H114H100\r\n");
  std::string page;
  // The target need not exist: the proxy serves it.
  ASSERT_TRUE(HttpRequestPage(rc_, "fncAVGDefinition", "http://avg.invalid/pub/defs/readme.txt", &page));
  EXPECT_EQ(page, "text");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], "GET /pub/defs/readme.txt (proxy)");
  for (const std::string& line : m_.LogMessages()) {
    EXPECT_EQ(line.find("Pa55w0rd"), std::string::npos) << line;
    EXPECT_EQ(line.find("proxyuser"), std::string::npos) << line;
  }
  const os::HttpRequestOptions o = RequestOptions(rc_, true);
  EXPECT_EQ(o.proxy, "localhost:" + std::to_string(proxy.port()));
  EXPECT_EQ(o.proxyBypass, "*.intra");
  EXPECT_TRUE(o.proxyCredentials);
  EXPECT_EQ(RequestOptions(rc_, false).proxy, "");
}

TEST_F(Transfers, ProxySettingsAreReadOnceAndABadUserNameDropsTheCredentials) {
  Start("[ProxySettings]\r\nProxyIP=proxy.intra\r\nProxyUserName=12Hx\r\nProxyPassword=112H119\r\n");
  for (int i = 0; i < 3; ++i) {
    const os::HttpRequestOptions o = RequestOptions(rc_, true);
    EXPECT_EQ(o.proxy, "proxy.intra");
    EXPECT_FALSE(o.proxyCredentials);
    EXPECT_EQ(o.proxyPassword, "");
  }
  int errors = 0;
  for (const std::string& line : m_.LogMessages()) errors += line == "ERR : DecryptString 13 Type mismatch";
  EXPECT_EQ(errors, 1);

  // A user with an empty password still sends credentials.
  SimMachine other;
  InstallAgent(other, "", "2026-12-07 00:41:50", "[ProxySettings]\r\nProxyIP= p \r\nProxyPort=\r\nProxyUserName=117\r\n");
  RunContext rc;
  other.Start(rc);
  SetIdentity(rc);
  const os::HttpRequestOptions o = RequestOptions(rc, true);
  EXPECT_EQ(o.proxy, "p");
  EXPECT_TRUE(o.proxyCredentials);
  EXPECT_EQ(o.proxyUser, "u");
  EXPECT_EQ(o.proxyPassword, "");
}

TEST_F(Transfers, FtpFindsTheFirstMatchAndGetsItByItsListedName) {
  scenario::FtpFolderServer ftp(root_);
  ASSERT_NE(ftp.port(), 0) << ftp.error();
  Start();
  const FtpTarget target{"127.0.0.1:" + std::to_string(ftp.port()), "pub/defs", "avvdat-*.zip"};
  std::string upper;
  ASSERT_TRUE(FtpOperation(rc_, "fncMcAfeeDefinition", target, "", &upper));
  EXPECT_EQ(upper, "AVVDAT-9001.ZIP");
  EXPECT_TRUE(Logged("MSG : Executing Function InternetConnect."));
  EXPECT_FALSE(m_.Exists(kApp + "\\avvdat.zip"));

  // The server's names are case-sensitive: the get must ask for the listed name.
  ASSERT_TRUE(FtpOperation(rc_, "fncMcAfeeDownload", target, kApp + "\\avvdat.zip", &upper));
  EXPECT_EQ(m_.Read(kApp + "\\avvdat.zip"), "zip bytes");
  EXPECT_TRUE(Logged("MSG : Executing Function InternetConnect"));
  EXPECT_TRUE(Logged("MSG : Executing Function FtpSetCurrentDirectory"));
  EXPECT_TRUE(Logged("MSG : Executing Function FtpGetFile"));

  EXPECT_FALSE(FtpOperation(rc_, "fncMcAfeeDefinition", {target.host, "pub/defs", "sdat*.exe"}, "", &upper));
  EXPECT_TRUE(Logged("ERR : fncMcAfeeDefinition - FtpFindFirstFile - Failed to find the FTP File 18-There are no more files."));
  EXPECT_FALSE(FtpOperation(rc_, "fncMcAfeeDefinition", {target.host, "pub/none", "*"}, "", &upper));
  EXPECT_TRUE(LogHas("ERR : fncMcAfeeDefinition - FtpSetCurrentDirectory - Failed to set the FTP Directory. 12003-"));
}

TEST(RetryOrder, EachTransportIsTriedItsTimesInARowBeforeTheNext) {
  using T = Transport;
  struct Case {
    Wrapper wrapper;
    int succeedOnCall;  // 0: never
    std::vector<T> calls;
  };
  auto times = [](std::vector<T> v, T t, int n) {
    v.insert(v.end(), n, t);
    return v;
  };
  const Case cases[] = {
      {Wrapper::kMcAfeeDownload, 8, times(times(times({}, T::kFtp, 3), T::kRequestObject, 3), T::kWinInetThenFile, 2)},
      {Wrapper::kMcAfeeDefinition, 0, times(times(times({}, T::kFtp, 5), T::kRequestObject, 5), T::kWinInet, 5)},
      {Wrapper::kNortonDefinition, 0, times(times(times({}, T::kRequestObject, 5), T::kWinInet, 5), T::kFtp, 5)},
      {Wrapper::kNortonDownload, 0,
       times(times(times({}, T::kRequestObject, 5), T::kWinInetThenFile, 5), T::kFtp, 5)},
      {Wrapper::kMseDefinition, 1, {T::kRequestObject}},
      {Wrapper::kMseDownload, 0, times(times({}, T::kRequestObject, 3), T::kUrlToFile, 3)},
      {Wrapper::kTrendMicroDefinition, 0, times({}, T::kDownloadFile, 5)},
      {Wrapper::kTrendMicroDownload, 0, times(times({}, T::kRequestObject, 5), T::kWinInetThenFile, 5)},
      {Wrapper::kAvgDefinition, 6, times(times({}, T::kRequestObject, 5), T::kWinInet, 1)},
  };
  for (const Case& c : cases) {
    std::vector<T> calls;
    const bool ok = RunRetryOrder(c.wrapper, [&](T t) {
      calls.push_back(t);
      return static_cast<int>(calls.size()) == c.succeedOnCall;
    });
    EXPECT_EQ(ok, c.succeedOnCall != 0) << static_cast<int>(c.wrapper);
    EXPECT_EQ(calls, c.calls) << static_cast<int>(c.wrapper);
  }
}

TEST(UrlForLog, DropsOnlyTheUserPart) {
  EXPECT_EQ(UrlForLog("http://u:p@host/a@b"), "http://host/a@b");
  EXPECT_EQ(UrlForLog("ftp://anonymous@ftp.example.com/pub"), "ftp://ftp.example.com/pub");
  EXPECT_EQ(UrlForLog("http://host/path?mail=a@b"), "http://host/path?mail=a@b");
  EXPECT_EQ(UrlForLog("http://host"), "http://host");
  EXPECT_EQ(UrlForLog("not a url"), "not a url");
}

}  // namespace
