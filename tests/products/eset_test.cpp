#include <gtest/gtest.h>

#include <algorithm>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

constexpr const char* kSearchLine =
    "MSG : Searching for ESET Anti-virus in registry key :: "
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kSecurityKey = "SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info";
constexpr const char* kNodKey = "SOftware\\Eset\\Nod\\CurrentVersion\\Info";

using Eset = ProductTest;

TEST_F(Eset, FoundInThe32BitListAndReadFromTheSecurityKey) {
  Start(Entry(kUninstall32, "{E}", "ESET Endpoint Security 6.5") +
        Value("SOFTWARE\\Wow6432Node\\ESET\\ESET Security\\CurrentVersion\\Info", "ScannerVersion",
              " 16188 (20171004) ") +
        Value("SOFTWARE\\Wow6432Node\\ESET\\ESET Security\\CurrentVersion\\Info", "CurrentVersion", "x"));
  CheckESETPresence(rc);
  EXPECT_EQ(Log(), (Lines{
                       "MSG : Executing fncCheckforESETAV..",
                       kSearchLine,
                       "MSG : 'ESET Endpoint Security 6.5' is installed.",
                       "MSG : opening SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info",
                       "MSG : Eset Definition :: 16188 (20171004)",
                   }));
  EXPECT_EQ(rc.EsetDefinitionKey, kSecurityKey);
  EXPECT_EQ(rc.AntivirusElements, Element("NOD32", "16188(20171004)", "", "16188(20171004)", "", "", "0"));
  EXPECT_TRUE(rc.ProductFound);
}

// A 64-bit product: the first search and the 32-bit read find nothing, the
// 64-bit search and read do. The old product line keeps "CurrentVersion".
TEST_F(Eset, FoundInThe64BitListAndReadOutsideTheWowNode) {
  Start(Entry(kUninstall64, "{E}", "NOD32 Antivirus System") +
        Value("SOFTWARE\\Eset\\Nod\\CurrentVersion\\Info", "CurrentVersion", "2.70.39") +
        Value("SOFTWARE\\Eset\\Nod\\CurrentVersion\\Info", "ScannerVersion", "wrong"));
  rc.StatusDescription = "Earlier sentence.";
  CheckESETPresence(rc);
  const Lines log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), kSearchLine), 2);
  EXPECT_TRUE(m.Logged("MSG : Executing fncCheckforESETAVon64Bit.."));
  EXPECT_TRUE(m.Logged("MSG : OS is 64Bit.."));
  EXPECT_EQ(From(log, "MSG : opening "), (Lines{
                                  "MSG : opening SOftware\\Eset\\Nod\\CurrentVersion\\Info",
                                  "ERR : Reading Registry SOftware\\Eset\\Nod\\CurrentVersion\\Info. "
                                  "ErrDesc: 2-The system cannot find the file specified.",
                                  "MSG : ESET is Not installed.",
                                  "MSg : 64 bit, outside Wow node",
                                  "MSG : opening SOftware\\Eset\\Nod\\CurrentVersion\\Info",
                                  "MSG : Eset Definition :: 2.70.39",
                              }));
  EXPECT_EQ(rc.AntivirusElements, Element("NOD32", "2.70.39", "", "2.70.39", "", "", "0"));
  EXPECT_EQ(rc.StatusDescription, "Earlier sentence.");  // a missing key says nothing
}

TEST_F(Eset, On32BitSystemsTheSecondSearchRepeatsThe32BitView) {
  m.System("Bits=32\r\n");
  Start(Entry(kUninstall64, "{P}", "Contoso PDF Reader"));
  CheckESETPresence(rc);
  const Lines log = Log();
  EXPECT_EQ(log.front(), "MSG : Executing fncCheckforESETAV..");
  EXPECT_TRUE(m.Logged("MSG : Executing fncCheckforESETAVon64Bit.."));
  EXPECT_EQ(std::count(log.begin(), log.end(), kSearchLine), 2);
  EXPECT_EQ(log.back(), "MSG : ESET Anti-Virus is not installed.");
  EXPECT_FALSE(rc.Is64BitOs);
}

TEST_F(Eset, MatchRulesChooseTheKey) {
  const struct {
    const char* displayName;
    const char* key;  // nullptr: not matched
  } cases[] = {
      {"ESET NOD32 Antivirus", kSecurityKey},   {"eset smart security 9", kSecurityKey},
      {"ESET Endpoint Antivirus", kSecurityKey}, {"ESET File Security", kSecurityKey},
      {"ESET Mail Security", kSecurityKey},     {"NOD32 Antivirus System", kNodKey},
      {"ESET Remote Administrator", nullptr},
  };
  for (const auto& c : cases) {
    Start(Entry(kUninstall32, "{E}", c.displayName));
    EXPECT_EQ(fncCheckforESETAV(rc), c.key != nullptr) << c.displayName;
    EXPECT_EQ(rc.EsetDefinitionKey, c.key ? c.key : "") << c.displayName;
  }
}

// Failures of the reader replace the status description rather than add to it.
TEST_F(Eset, ReaderFailuresReplaceTheStatusDescription) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info";
  const struct {
    std::string registry;
    const char* statusDescription;
    const char* lastLine;
  } cases[] = {
      {Value("SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info", "ScannerVersion", "  "),
       "Failed for ESET NOD 32, no definition found ", "MSG : Eset Definition :: "},
      {"[" + key + "]\r\n;sim:deny=KEY_READ\r\n\"ScannerVersion\"=\"1\"\r\n\r\n",
       "Failed for ESET NOD 32 5-Access is denied..",
       "ERR : Function fncGetEsetVersion. Could not open Registry Key "
       "SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info. ErrDesc: 5-Access is denied."},
  };
  m.System("Bits=32\r\n");  // one registry view
  for (const auto& c : cases) {
    Start(c.registry);
    rc.StatusDescription = "Earlier sentence.";
    rc.EsetDefinitionKey = kSecurityKey;
    EXPECT_FALSE(fncGetEsetVersion(rc));
    EXPECT_EQ(rc.StatusDescription, c.statusDescription);
    EXPECT_EQ(Log().back(), c.lastLine);
  }
}

TEST_F(Eset, NoRecordWhenNeitherViewHasADefinition) {
  Start(Entry(kUninstall32, "{E}", "ESET NOD32 Antivirus") +
        Value("SOFTWARE\\Wow6432Node\\ESET\\ESET Security\\CurrentVersion\\Info", "ScannerVersion", ""));
  rc.Is64BitOs = true;  // as the run found at its start
  CheckESETPresence(rc);
  EXPECT_EQ(From(Log(), "MSG : opening "), (Lines{
                                    "MSG : opening SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info",
                                    "MSG : Eset Definition :: ",
                                    "MSg : 64 bit, outside Wow node",
                                    "MSG : opening SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info",
                                    "ERR : Reading Registry SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info. "
                                    "ErrDesc: 2-The system cannot find the file specified.",
                                    "MSG : ESET is Not installed.",
                                }));
  EXPECT_EQ(rc.AntivirusElements, "");
  EXPECT_FALSE(rc.ProductFound);
  EXPECT_EQ(rc.StatusDescription, "Failed for ESET NOD 32, no definition found ");
}

}  // namespace
