#include <gtest/gtest.h>

#include <algorithm>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"
#include "update/updates.h"

namespace {

using namespace producttest;

constexpr const char* kSignatures = "SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates";

const Lines kCheckLines = {
    "MSG : Executing Function FN_Intune_product..",
    "MSG : Searching for Intune Anti-virus in registry key :: "
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

Lines With(Lines head, const Lines& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

using IntuneDetails = ProductTest;

TEST_F(IntuneDetails, ReportsTheTrimmedDefinitionWithTheEngineLeftByEarlierFamilies) {
  Start(Entry(kUninstall64, "{A1}", "Contoso PDF Reader") + Entry(kUninstall64, "{B2}", "Windows Intune") +
        Value(kSignatures, "AVSignatureVersion", " 1.2 31.7 "));
  rc.ScanEngineVersion = "5.6";
  IntuneServer_Details(rc);
  EXPECT_EQ(Log(), With(kCheckLines, {"MSG : Windows Intune is installed.", "MSG : In GetIntuneVirusDef...",
                                      "MSG : Windows Intune definition :  1.2 31.7 "}));
  EXPECT_EQ(rc.AntivirusElements, Element("WinIntune", "1.231.7", "", "1.231.7", "", "5.6", "0"));
  EXPECT_EQ(rc.DefVersionBefore, "1.231.7");  // normalised by the writer
  EXPECT_TRUE(rc.ProductFound);
  EXPECT_EQ(rc.StatusDescription, "");
}

TEST_F(IntuneDetails, DisplayNameMustEqualTheProductName) {
  const struct {
    const char* displayName;
    bool installed;
  } cases[] = {
      {"  windows INTUNE  ", true},
      {"Windows Intune Endpoint Protection", false},
      {"Microsoft Windows Intune", false},
  };
  for (const auto& c : cases) {
    Start(Entry(kUninstall64, "{B2}", c.displayName) + Value(kSignatures, "AVSignatureVersion", "1.0"));
    EXPECT_EQ(FN_Intune_product(rc), c.installed) << c.displayName;
    const Lines log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "MSG : Windows Intune is installed."), c.installed ? 1 : 0)
        << c.displayName;
  }
}

TEST_F(IntuneDetails, OnlyThe64BitListCounts) {
  Start(Entry(kUninstall64, "{A1}", "Contoso PDF Reader") + Entry(kUninstall32, "{B2}", "Windows Intune") +
        Value(kSignatures, "AVSignatureVersion", "1.0"));
  IntuneServer_Details(rc);
  EXPECT_EQ(Log(), With(kCheckLines, {"MSG : No Windows Intune product is installed."}));
  EXPECT_EQ(rc.AntivirusElements, "");
}

TEST_F(IntuneDetails, EnumerationStopsAtASubkeyThatCannotBeOpened) {
  Start("[" + std::string(kUninstall64) + "\\{A1}]\r\n;sim:deny=KEY_READ\r\n\"DisplayName\"=\"x\"\r\n\r\n" +
        Entry(kUninstall64, "{B2}", "Windows Intune"));
  EXPECT_FALSE(FN_Intune_product(rc));
  EXPECT_EQ(Log(), kCheckLines);
}

// Installed, but nothing to read: the family ends silently, whatever an
// earlier family left in the shared slot.
TEST_F(IntuneDetails, ReaderFindingNothingEndsTheFamilySilently) {
  const struct {
    std::string signatures;
    Lines readerLines;
    const char* defVersionBefore;
  } cases[] = {
      {"",
       {"MSG : Unable to open the Key : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates"},
       "stale"},
      {Value(kSignatures, "", ""),
       {"MSG : Unable to get definition : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates - "
        "AVSignatureVersion"},
       ""},
      {Value(kSignatures, "AVSignatureVersion", "   "),
       {"MSG : Unable to get definition : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates - "
        "AVSignatureVersion"},
       ""},
  };
  for (const auto& c : cases) {
    Start(Entry(kUninstall64, "{B2}", "Windows Intune") + c.signatures);
    rc.DefVersionBefore = "stale";
    IntuneServer_Details(rc);
    EXPECT_EQ(Log(), With(With(kCheckLines, {"MSG : Windows Intune is installed.",
                                             "MSG : In GetIntuneVirusDef..."}),
                          c.readerLines));
    EXPECT_EQ(rc.DefVersionBefore, c.defVersionBefore);
    EXPECT_EQ(rc.AntivirusElements, "");
    EXPECT_FALSE(rc.ProductFound);
    EXPECT_EQ(rc.StatusDescription, "");
  }
}

// The open failure of the uninstall list, per family: the error number, or
// for Microsoft Security Essentials the system text.
TEST_F(IntuneDetails, UninstallListOpenFailuresPerFamily) {
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string denied = "[" + std::string(kUninstall64) + "]\r\n;sim:deny=KEY_READ\r\n\r\n";
  const struct {
    bool (*check)(RunContext&);
    const char* name;
    const char* missingCode;
  } families[] = {
      {FN_Intune_product, "Intune", "2"},
      {FN_CA12_product, "CA12", "2"},
      {FN_Forefront_product, "Forefront", "2"},
      {FN_MES_product, "MES", "2-The system cannot find the file specified."},
  };
  for (const auto& f : families) {
    Start("");
    EXPECT_FALSE(f.check(rc)) << f.name;
    EXPECT_EQ(Log().back(), "ERR : Could not open registry key. ErrDesc: " + std::string(f.missingCode) +
                                " for " + key)
        << f.name;
    Start(denied);
    EXPECT_FALSE(f.check(rc)) << f.name;
    EXPECT_EQ(Log().back(), "ERR : 5. Does not have sufficient privilege for " + key) << f.name;
    EXPECT_EQ(Log().size(), 3u) << f.name;
  }
}

}  // namespace
