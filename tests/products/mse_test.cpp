#include <gtest/gtest.h>

#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"
#include "products/products.h"

namespace {

using namespace producttest;

constexpr const char* kSignatures = "SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates";

using MSE = ProductTest;

TEST_F(MSE, DetailsReportTheDefinitionAndEngine) {
  Start(Entry(kUninstall64, "Microsoft Security Client", "Microsoft Security Essentials 4.10") +
        Value(kSignatures, "AVSignatureVersion", "1.395.12.0"));
  rc.ScanEngineVersion = "1.1.1";
  MESServer_Details(rc);
  EXPECT_EQ(Log(), (Lines{
                       "MSG : Executing Function FN_MES_product..",
                       "MSG : Searching for MES Anti-virus in registry key :: "
                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                       "MSG : Microsoft Security Essential Product : 'Microsoft Security Essentials 4.10' "
                       "is installed.",
                       "MSG : In GetMESVirusDef...",
                       "MSG : Microsoft Security Essential definition : 1.395.12.0",
                   }));
  EXPECT_EQ(rc.AntivirusElements, Element("Microsoft Security Essentials", "1.395.12.0", "",
                                          "1.395.12.0", "", "1.1.1", "0"));
  EXPECT_TRUE(rc.ProductFound);
}

TEST_F(MSE, NotInstalled) {
  Start(Entry(kUninstall64, "{X}", "Microsoft Security Client"));
  MESServer_Details(rc);
  EXPECT_EQ(Log().back(), "MSG : No Microsoft Security essential product is installed.");
  EXPECT_EQ(rc.AntivirusElements, "");
}

// The update steps read before and after the update into different slots.
TEST_F(MSE, SelectorChoosesTheSlot) {
  const struct {
    const char* value;
    bool before;
    bool read;
    const char* beforeSlot;
    const char* afterSlot;
  } cases[] = {
      {" 1.2.3 ", true, true, "1.2.3", "old-after"},
      {" 1.2.3 ", false, true, "old-before", "1.2.3"},
      {"", true, false, "", "old-after"},
      {"", false, false, "old-before", ""},
  };
  for (const auto& c : cases) {
    Start(Value(kSignatures, "AVSignatureVersion", c.value));
    rc.DefVersionBefore = "old-before";
    rc.DefVersionAfter = "old-after";
    EXPECT_EQ(GetMESVirusDef(rc, c.before), c.read);
    EXPECT_EQ(rc.DefVersionBefore, c.beforeSlot) << c.value << c.before;
    EXPECT_EQ(rc.DefVersionAfter, c.afterSlot) << c.value << c.before;
  }
}

TEST_F(MSE, MissingKeyLeavesBothSlots) {
  Start("");
  rc.DefVersionBefore = "b";
  rc.DefVersionAfter = "a";
  EXPECT_FALSE(GetMESVirusDef(rc, false));
  EXPECT_EQ(Log(), (Lines{"MSG : In GetMESVirusDef...",
                          "MSG : Unable to open the Key : SOFTWARE\\Microsoft\\Microsoft "
                          "Antimalware\\Signature Updates"}));
  EXPECT_EQ(rc.DefVersionBefore, "b");
  EXPECT_EQ(rc.DefVersionAfter, "a");
}

}  // namespace
