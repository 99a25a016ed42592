#include "platform/identity.h"

#include <gtest/gtest.h>

#include "tests/support/sim_machine.h"

namespace {

const char* const kAgentIni = "C:\\Program Files (x86)\\Agent\\KovaMobile.ini";

struct DecryptCase {
  const char* stored;
  std::string clear;
  const char* errorLine;  // nullptr: no error line
};

TEST(DecryptString, DecodesCharacterCodesAndRejectsBadParts) {
  const DecryptCase cases[] = {
      {"65H66", "AB", nullptr},
      {"", "", nullptr},
      {"117H115H101H114", "user", nullptr},
      {"0H255", std::string("\0\xff", 2), nullptr},
      {"65H", "", "ERR : DecryptString 13 Type mismatch"},
      {"65HxyH66", "", "ERR : DecryptString 13 Type mismatch"},
      {"256", "", "ERR : DecryptString 5 Invalid procedure call or argument"},
      {"-1", "", "ERR : DecryptString 5 Invalid procedure call or argument"},
  };
  for (const DecryptCase& c : cases) {
    SimMachine m;
    RunContext rc;
    m.Start(rc);
    EXPECT_EQ(DecryptString(rc, c.stored), c.clear) << c.stored;
    if (c.errorLine != nullptr) {
      EXPECT_TRUE(m.Logged(c.errorLine)) << c.stored;
    }
  }
}

// A value stored as a number is present but unreadable as text: the log says
// so (not "Key Not Present"), and the run ends as for a missing identity.
TEST(GetoutputPath, ValuesOfOtherTypesAreNamedAsSuch) {
  SimMachine m;
  m.Registry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n\"InstallationPath\"=dword:00000001\r\n"
      "\"REGID\"=dword:00000007\r\n\"SiteId\"=\"17\"\r\n\"MemberId\"=\"3\"\r\n\"Type\"=\"QRTA\"\r\n");
  RunContext rc;
  m.Start(rc);
  EXPECT_FALSE(GetoutputPath(rc));
  EXPECT_TRUE(m.Logged("ERR : Registry value InstallationPath of SOFTWARE\\KOVAOD is stored as REG_DWORD, "
                       "not as text (REG_SZ); it is not read"));
  EXPECT_TRUE(m.Logged("ERR : Registry value REGID of SOFTWARE\\KOVAOD is stored as REG_DWORD, "
                       "not as text (REG_SZ); it is not read"));
  EXPECT_TRUE(m.Logged("MSG : RegID = "));
  EXPECT_FALSE(m.Logged("ERR : REGID Key Not Present"));
  EXPECT_FALSE(m.Logged("ERR : Failed to read Value in Registry key REGID"));
  EXPECT_FALSE(m.Logged("MSG : SiteId = 17"));
}

// Identity values become parts of file names: nothing that leaves the folder
// or that Windows cannot name is taken, and the run ends as without identity.
TEST(GetoutputPath, RefusesIdentityValuesThatCannotBePartOfAFileName) {
  struct Case {
    const char* value;  // as written in registry.reg
    const char* valueName;
    const char* refusal;
  };
  const std::string longId(100 * 1024, '7');
  const std::string longLine = "ERR : REGID refused: it is longer than 64 characters";
  const Case cases[] = {
      {"\\\\..\\\\..\\\\Windows\\\\x", "REGID", "ERR : REGID refused: it holds a path separator"},
      {"a/b", "REGID", "ERR : REGID refused: it holds a path separator"},
      {"..", "SiteId", "ERR : SiteId refused: it holds \"..\""},
      {"12:34", "MemberId", "ERR : MemberId refused: it holds the character :, which Windows forbids in file names"},
      {"1*", "REGID", "ERR : REGID refused: it holds the character *, which Windows forbids in file names"},
      {longId.c_str(), "REGID", longLine.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusal);
    std::string values = "\"REGID\"=\"100245\"\r\n\"SiteId\"=\"17\"\r\n\"MemberId\"=\"3301\"\r\n";
    const std::string line = std::string("\"") + c.valueName + "\"=\"";
    values.replace(values.find(line), values.find("\r\n", values.find(line)) - values.find(line),
                   line + c.value + "\"");
    SimMachine m;
    m.Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n" + values + "\"Type\"=\"QRTA\"\r\n");
    RunContext rc;
    m.Start(rc);
    EXPECT_FALSE(GetoutputPath(rc));
    EXPECT_TRUE(m.Logged(c.refusal));
    EXPECT_FALSE(m.Logged("MSG : Regtype = QRTA"));
    // The log shows a bounded part of the value.
    for (const std::string& message : m.LogMessages()) EXPECT_LT(message.size(), 1024u);
  }
  EXPECT_EQ(IdentityValueProblem(std::string(64, '9')), "");
  EXPECT_EQ(IdentityValueProblem("100245"), "");
  EXPECT_EQ(IdentityValueProblem("a.b c-d_e"), "");
}

TEST(GetoutputPath, ReadsTheIdentityFromTheProgramsOwnView) {
  SimMachine m;
  // The 64-bit view's copy is not the 32-bit program's.
  m.Registry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KOVAOD]\r\n\"REGID\"=\"wrong\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n"
      "\"InstallationPath\"=\"C:\\\\Program Files (x86)\\\\Agent\\\\\"\r\n"
      "\"REGID\"=\"R1\"\r\n\"SiteId\"=\"S1\"\r\n\"MemberId\"=\"M1\"\r\n\"Type\"=\"VXNA\"\r\n");
  m.File(kAgentIni, "");
  RunContext rc;
  m.Start(rc);
  ASSERT_TRUE(GetoutputPath(rc));
  EXPECT_EQ(rc.RegId, "R1");
  EXPECT_EQ(rc.SiteId, "S1");
  EXPECT_EQ(rc.MemberId, "M1");
  EXPECT_EQ(rc.AgentType, "VXNA");
  EXPECT_EQ(rc.AgentInstallPath, "C:\\Program Files (x86)\\Agent\\");
  EXPECT_TRUE(m.Logged("MSG : KOVAOD path : C:\\Program Files (x86)\\Agent\\"));
}

TEST(GetoutputPath, EmptyInstallationPathStaysEmpty) {
  SimMachine m;
  m.Registry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n\"InstallationPath\"=\"\"\r\n"
      "\"REGID\"=\"R1\"\r\n\"SiteId\"=\"S1\"\r\n\"MemberId\"=\"M1\"\r\n\"Type\"=\"QRTA\"\r\n");
  RunContext rc;
  m.Start(rc);
  ASSERT_TRUE(GetoutputPath(rc));
  EXPECT_EQ(rc.AgentInstallPath, "");
  EXPECT_TRUE(m.Logged("MSG : KOVAOD path : "));
}

struct ClientInfoCase {
  const char* iniText;
  const char* gatewayBaseUrl;
};

TEST(FncGetClientInfo, GatewayBaseUrlAlwaysEndsInASlash) {
  const std::string longUrl = "http://gw/" + std::string(240, 'a');
  const ClientInfoCase cases[] = {
      {"[Download]\r\nAVDownload=http://gw/defs\r\n", "http://gw/defs/"},
      {"[Download]\r\nAVDownload=http://gw/defs/\r\n", "http://gw/defs/"},
      {"[Other]\r\nKey=1\r\n", "/"},
      {"[download]\r\navdownload = http://gw/x \r\n", "http://gw/x/"},
  };
  for (const ClientInfoCase& c : cases) {
    SimMachine m;
    m.File(kAgentIni, c.iniText);
    RunContext rc;
    m.Start(rc);
    rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
    EXPECT_TRUE(fncGetClientInfo(rc));
    EXPECT_EQ(rc.GatewayBaseUrl, c.gatewayBaseUrl) << c.iniText;
  }
  // The value is read into 200 characters: 199 are kept.
  SimMachine m;
  m.File(kAgentIni, "[Download]\r\nAVDownload=" + longUrl + "\r\n");
  RunContext rc;
  m.Start(rc);
  rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
  EXPECT_TRUE(fncGetClientInfo(rc));
  EXPECT_EQ(rc.GatewayBaseUrl, longUrl.substr(0, 199) + "/");
}

TEST(FncGetClientInfo, MissingIniEndsWithTheFolderInTheErrorLine) {
  SimMachine m;
  RunContext rc;
  m.Start(rc);
  rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
  EXPECT_FALSE(fncGetClientInfo(rc));
  EXPECT_TRUE(m.Logged("ERR : File not found C:\\Program Files (x86)\\Agent\\"));
}

struct ServerUrlCase {
  const char* registry;
  const char* serverMap;  // nullptr: no kServerMap.ini
  const char* url;
};

TEST(GetServerUrl, FindsTheBaseUrlOfAWebPost) {
  const char* const k64 =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KOVAOD]\r\n\"InstallationPath\"=\"C:\\\\Agent\"\r\n";
  const char* const k32 =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n\"InstallationPath\"=\"C:\\\\Agent\\\\\"\r\n";
  const ServerUrlCase cases[] = {
      {k64, "[wpavvendef]\r\nURL=http://srv/app\r\n", "http://srv/app/"},
      {k32, "[wpavvendef]\r\nURL=http://srv/app/\r\n", "http://srv/app/"},
      {k64, "[WPAVVENDEF]\r\nurl=  http://srv/app  \r\n", "http://srv/app/"},
      {k64, "[wpavvendef]\r\nURL=\r\n", ""},
      {k64, "[wpgetavversion]\r\nURL=http://srv/other\r\n", ""},
      {k64, nullptr, ""},
      {"", "[wpavvendef]\r\nURL=http://srv/app\r\n", ""},
  };
  for (const ServerUrlCase& c : cases) {
    SimMachine m;
    m.Registry(c.registry);
    if (c.serverMap != nullptr) m.File("C:\\Agent\\Configuration\\kServerMap.ini", c.serverMap);
    RunContext rc;
    m.Start(rc);
    EXPECT_EQ(GetServerUrl(rc, "wpavvendef"), c.url) << c.registry << " / " << (c.serverMap ? c.serverMap : "-");
  }
}

TEST(FncGetProxyDetails, DecodesCredentialsAndKeepsWhatItDoesNotFind) {
  SimMachine m;
  m.File(kAgentIni,
         "[ProxySettings]\r\nProxyIP=10.1.2.3\r\nProxyPort=8080\r\n"
         "ProxyUserName=117H115H101H114\r\nProxyPassword=112H119\r\n");
  RunContext rc;
  m.Start(rc);
  rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
  ProxyDetails proxy;
  ASSERT_TRUE(fncGetProxyDetails(rc, &proxy));
  EXPECT_TRUE(proxy.useProxy);
  EXPECT_EQ(proxy.ip, "10.1.2.3");
  EXPECT_EQ(proxy.port, "8080");
  EXPECT_EQ(proxy.user, "user");
  EXPECT_EQ(proxy.password, "pw");

  SimMachine none;
  none.File(kAgentIni, "[Download]\r\nAVDownload=x\r\n");
  RunContext rc2;
  none.Start(rc2);
  rc2.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
  ProxyDetails kept;
  kept.port = "3128";
  ASSERT_TRUE(fncGetProxyDetails(rc2, &kept));
  EXPECT_EQ(kept.port, "3128");
  EXPECT_EQ(kept.ip, "");
  EXPECT_TRUE(kept.useProxy);  // the caller's own value counts
}

}  // namespace
