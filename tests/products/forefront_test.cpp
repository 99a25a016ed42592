#include <gtest/gtest.h>

#include <algorithm>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

constexpr const char* kAntimalware = "SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates";
constexpr const char* kClientSecurity =
    "SOFTWARE\\Microsoft\\Microsoft Forefront\\Client Security\\1.0\\AM\\Signature Updates";

const Lines kFirstKeyMissing = {
    "MSG : Unable to open the Key : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates",
    "MSG : Unable to get definition : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates - "
    "ASSignatureVersion",
};
const Lines kSecondKeyMissing = {
    "MSG : Unable to open the Key : HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft "
    "Forefront\\Client Security\\1.0\\AM\\Signature Updates",
    "MSG : Unable to get definition : HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft "
    "Forefront\\Client Security\\1.0\\AM\\Signature Updates - ASSignatureVersion",
};

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

using Forefront = ProductTest;

TEST_F(Forefront, MatchRules) {
  const struct {
    const char* displayName;
    bool installed;
  } cases[] = {
      {"microsoft antimalware", true},
      {"Microsoft Antimalware Service Update", false},  // equality, not containment
      {"Microsoft Forefront Client Security Antimalware Service", true},
      {"Microsoft Forefront Client Security", false},
      {"Microsoft Forefront Endpoint Protection 2010", true},
      {"System Center 2012 Endpoint Protection", true},
      {"Microsoft System Center Endpoint Protection", true},
      {"Forefront Identity Manager", false},
  };
  for (const auto& c : cases) {
    Start(Entry(kUninstall64, "{F}", c.displayName));
    EXPECT_EQ(FN_Forefront_product(rc), c.installed) << c.displayName;
    const Lines log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         std::string("MSG : Microsoft Forefront is installed. : ") + c.displayName),
              c.installed ? 1 : 0)
        << c.displayName;
  }
}

TEST_F(Forefront, SecondKeyServesWhenTheFirstHasNoValue) {
  const struct {
    std::string registry;
    bool read;
    Lines lines;
    const char* definition;
  } cases[] = {
      {Value(kAntimalware, "ASSignatureVersion", "1.1") + Value(kClientSecurity, "ASSignatureVersion", "2.2"),
       true,
       {"MSG : Microsoft Forefront definition : 1.1"},
       "1.1"},
      {Value(kClientSecurity, "ASSignatureVersion", "2.2"),
       true,
       Join({kFirstKeyMissing, {"MSG : Microsoft Forefront definition : 2.2"}}),
       "2.2"},
      {Value(kAntimalware, "ASSignatureVersion", " ") + Value(kClientSecurity, "ASSignatureVersion", "2.2"),
       true,
       {"MSG : Unable to get definition : SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates - "
        "ASSignatureVersion",
        "MSG : Microsoft Forefront definition : 2.2"},
       "2.2"},
      {"", false, Join({kFirstKeyMissing, kSecondKeyMissing}), ""},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    rc.DefVersionBefore = "stale";
    EXPECT_EQ(GetForefrontVirusDef(rc), c.read);
    EXPECT_EQ(Log(), Join({{"MSG : In GetForefrontVirusDef..."}, c.lines}));
    EXPECT_EQ(rc.DefVersionBefore, c.definition);
  }
}

TEST_F(Forefront, DetailsWriteTheRecord) {
  Start(Entry(kUninstall64, "{F}", "System Center Endpoint Protection") +
        Value(kClientSecurity, "ASSignatureVersion", "1.203.0.0"));
  ForefrontServer_Details(rc);
  EXPECT_EQ(rc.AntivirusElements, Element("Microsoft Forefront", "1.203.0.0", "", "1.203.0.0", "", "", "0"));
  EXPECT_TRUE(rc.ProductFound);

  Start("");
  ForefrontServer_Details(rc);
  EXPECT_EQ(Log().back(), "MSG : No Microsoft Forefront product is installed.");
}

}  // namespace
