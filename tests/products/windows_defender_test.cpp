#include <gtest/gtest.h>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

constexpr const char* kDefender = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Defender";
const std::string kSignatures = std::string(kDefender) + "\\Signature Updates";

std::string DefenderKey(const std::string& values) { return "[" + std::string(kDefender) + "]\r\n" + values + "\r\n"; }

std::string Signatures(const std::string& version) {
  return "[" + kSignatures + "]\r\n\"ASSignatureVersion\"=\"" + version + "\"\r\n\r\n";
}

const Lines kCheckLines = {
    "MSG : Executing Function FN_WindowsDefender..",
    "MSG : Windows Defender to be consider for Windows 8 or Higher",
    "MSG : Searching for Windows Defender in registry key :: SOFTWARE\\Microsoft\\Windows Defender",
};

Lines With(Lines head, const Lines& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

using Defender = ProductTest;

TEST_F(Defender, SwitchesAndOperatingSystem) {
  const struct {
    const char* values;
    bool windows8;
    bool reported;
    const char* line;
  } cases[] = {
      {"", true, true, "MSG : Windows Defender is installed Enabled Spyware & Antivirus on ::Windows 8"},
      {"\"DisableAntiSpyware\"=dword:00000000\r\n\"DisableAntiVirus\"=dword:00000001\r\n", true, true,
       "MSG : Windows Defender is installed  Enabled Spyware on ::Windows 8"},
      {"\"DisableAntiSpyware\"=dword:00000001\r\n", true, false, "MSG : Windows Defender is not installed"},
      // Before Windows 8 it is never reported.
      {"", false, false, "MSG : Windows Defender is installed Enabled Spyware & Antivirus on ::Windows 8"},
  };
  for (const auto& c : cases) {
    Start(DefenderKey(c.values));
    rc.OsName = "Windows 8";
    rc.Windows8OrLater = c.windows8;
    EXPECT_EQ(FN_WindowsDefender(rc), c.reported) << c.values;
    EXPECT_EQ(Log(), With(kCheckLines, {c.line})) << c.values;
  }
}

TEST_F(Defender, KeyOpenFailures) {
  const struct {
    std::string registry;
    const char* line;
  } cases[] = {
      {"", "ERR : Could not open registry key. ErrDesc: 2-The system cannot find the file specified. for "
           "SOFTWARE\\Microsoft\\Windows Defender"},
      {DefenderKey(";sim:deny=KEY_READ\r\n"),
       "ERR : 5. Does not have sufficient privilege for SOFTWARE\\Microsoft\\Windows Defender"},
      // The 32-bit view's key does not count.
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows Defender]\r\n\r\n",
       "ERR : Could not open registry key. ErrDesc: 2-The system cannot find the file specified. for "
       "SOFTWARE\\Microsoft\\Windows Defender"},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    rc.Windows8OrLater = true;
    EXPECT_FALSE(FN_WindowsDefender(rc));
    EXPECT_EQ(Log(), With(kCheckLines, {c.line}));
  }
}

TEST_F(Defender, DetailsOnWindows8ReportTheDefinition) {
  Start(DefenderKey("") + Signatures(" 1.255.10.0 "));
  rc.OsCaption = "Microsoft Windows 8.1 Pro";
  rc.OsName = "stale";
  rc.Windows8OrLater = true;
  WindowsDefender(rc);
  EXPECT_EQ(Log(), With({"OS Name found by WMI query: Microsoft Windows 8.1 Pro"},
                        With(kCheckLines,
                             {"MSG : Windows Defender is installed Enabled Spyware & Antivirus on ::Windows 8",
                              "MSG : Windows Defender found", "MSG : In GetWindowsDefenderVirusDef...",
                              "MSG : WindowsDefender definition :  1.255.10.0 "})));
  EXPECT_EQ(rc.AntivirusElements, Element("Windows Defender", "1.255.10.0", "", "1.255.10.0", "", "", "0"));
  EXPECT_EQ(rc.DefVersionAfter, "1.255.10.0");
  EXPECT_TRUE(rc.ProductFound);
}

TEST_F(Defender, OsNameIsFoundAfresh) {
  Start(DefenderKey(""));
  rc.OsCaption = "Microsoft Windows 10 Pro";
  rc.OsName = "Windows 8";
  rc.Windows8OrLater = true;
  WindowsDefender(rc);
  EXPECT_TRUE(m.Logged("MSG : Windows Defender is installed Enabled Spyware & Antivirus on ::"));
}

TEST_F(Defender, UnreadableDefinitionIsOnlyLogged) {
  const struct {
    std::string signatures;
    const char* line;
  } cases[] = {
      {"", "MSG : Unable to open the Key : SOFTWARE\\Microsoft\\Windows Defender\\Signature Updates\\"},
      {Signatures("  "),
       "MSG : Unable to get definition : SOFTWARE\\Microsoft\\Windows Defender\\Signature Updates\\ - "
       "ASSignatureVersion"},
  };
  for (const auto& c : cases) {
    Start(DefenderKey("") + c.signatures);
    rc.OsCaption = "Microsoft Windows 10 Pro";
    rc.Windows8OrLater = true;
    rc.StatusDescription = "Earlier.";
    rc.DefVersionAfter = "stale";
    WindowsDefender(rc);
    const Lines log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], c.line);
    EXPECT_EQ(log.back(), "MSG : Failed to read Windows Defender Definition");
    EXPECT_EQ(rc.AntivirusElements, "");
    EXPECT_FALSE(rc.ProductFound);
    EXPECT_EQ(rc.StatusDescription, "Earlier.");
    EXPECT_EQ(rc.DefVersionAfter, "");
  }
}

TEST_F(Defender, ReaderSelectorChoosesTheSlot) {
  Start(Signatures("4.4"));
  rc.DefVersionAfter = "after";
  EXPECT_TRUE(GetWindowsDefenderVirusDef(rc, true));
  EXPECT_EQ(rc.DefVersionBefore, "4.4");
  EXPECT_EQ(rc.DefVersionAfter, "after");
  EXPECT_EQ(rc.WindowsDefenderDefinition, "4.4");
}

}  // namespace
