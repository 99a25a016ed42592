#include <gtest/gtest.h>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

using CA12 = ProductTest;

TEST_F(CA12, FoundByContainedNameAndReportedWithoutTheBuildPart) {
  Start(Entry(kUninstall64, "{C1}", "CA Total Defense r12 Client Agent") +
        Value("SOFTWARE\\CA\\TDClient", "AMSigsVersion", " 37.0.1.5988 "));
  CA12Server_Details(rc);
  EXPECT_EQ(Log(), (Lines{
                       "MSG : Executing Function FN_CA12_product..",
                       "MSG : Searching for CA12 Anti-virus in registry key :: "
                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                       "MSG : CA 12 is installed.",
                       "MSG : In GetCA12VirusDef...",
                       "MSG : CA 12 definition : 37.0.5988",
                   }));
  EXPECT_EQ(rc.AntivirusElements, Element("CA 12", "37.0.5988", "", "37.0.5988", "", "", "0"));
  EXPECT_TRUE(rc.ProductFound);
}

TEST_F(CA12, DefinitionFormats) {
  const struct {
    const char* value;
    bool read;
    const char* defVersionBefore;
    Lines lines;
  } cases[] = {
      {"37.0.1.5988.4", true, "37.0.5988", {"MSG : CA 12 definition : 37.0.5988"}},
      {"37..1.5988", true, "37..5988", {"MSG : CA 12 definition : 37..5988"}},
      // Too few parts: rejected, and the slot keeps what an earlier family left.
      {"37.0.5988",
       false,
       "left",
       {"MSG : CA 12 definition : 37.0.5988", "MSG : CA 12 definition (Eg: 37.0.1.5988) Format wrong "}},
      {"",
       false,
       "",
       {"MSG : Unable to get definition : SOFTWARE\\CA\\TDClient - AMSigsVersion"}},
  };
  for (const auto& c : cases) {
    Start(Value("SOFTWARE\\CA\\TDClient", "AMSigsVersion", c.value));
    rc.DefVersionBefore = "left";
    EXPECT_EQ(GetCA12VirusDef(rc), c.read) << c.value;
    EXPECT_EQ(rc.DefVersionBefore, c.defVersionBefore) << c.value;
    Lines expected = {"MSG : In GetCA12VirusDef..."};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(Log(), expected) << c.value;
  }
}

TEST_F(CA12, MalformedDefinitionWritesNoRecordForTheLeftOverValue) {
  Start(Entry(kUninstall64, "{C1}", "Total Defense R12 Client") +
        Value("SOFTWARE\\CA\\TDClient", "AMSigsVersion", "37.0"));
  rc.DefVersionBefore = "8.8.8";
  CA12Server_Details(rc);
  EXPECT_EQ(rc.AntivirusElements, "");
  EXPECT_FALSE(rc.ProductFound);
  EXPECT_EQ(rc.StatusDescription, "");
}

TEST_F(CA12, KeyIsReadInThe64BitView) {
  Start(Entry(kUninstall64, "{C1}", "Total Defense R12 Client") +
        Value("SOFTWARE\\Wow6432Node\\CA\\TDClient", "AMSigsVersion", "37.0.1.5988"));
  CA12Server_Details(rc);
  EXPECT_EQ(Log().back(), "MSG : Unable to open the Key : SOFTWARE\\CA\\TDClient");
  EXPECT_EQ(rc.AntivirusElements, "");
}

}  // namespace
