// The rules that turn vendor tools' output into definitions.
#include "products/tool_readers.h"

#include <gtest/gtest.h>

#include "products/products.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

TEST(AvgOutput, CategoryAndVersion) {
  const struct {
    Lines lines;
    bool ok;
    const char* category;
    const char* version;
  } cases[] = {
      {{"AVG 2016 build 16.0.4756", "AVI 4565/13546 2016-12-06"}, true, "AVG 2016", "4565/13546"},
      {{"AVG 17 Business", "AVI 1234/5678"}, true, "AVG 2017", "1234/5678"},
      {{"AVG 9.0", "AVI 271.1.1/2800"}, true, "AVG 9", "271.1.1/2800"},
      {{"banner", "AVG 8.5 Free", "AVG 2016 later", "AVI 1/2 x"}, true, "AVG 8", "1/2"},
      // An AVI line without a blank reads to its end.
      {{"AVG 2015", "AVI 4321/999"}, true, "AVG 2015", "4321/999"},
      // No line names AVG: the last line is no category, the read fails.
      {{"Virus database", "AVI 4565/13546 2016-12-06"}, false, "", ""},
      // An unknown product line, or no AVI line, or an empty version.
      {{"AVG 2011", "AVI 1/2"}, false, "", ""},
      {{"AVG 2016"}, false, "AVG 2016", ""},
      {{"AVG 2016", "AVI  after a blank"}, false, "AVG 2016", ""},
      // Only the first AVG and the first AVI line count; case matters.
      {{"avg 2016", "AVG 2014 x", "AVG 2016 y", "avi 9/9", "AVI 7/7", "AVI 8/8"}, true, "AVG 2014", "7/7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines.front());
    const AvgOutput out = ParseAvgOutput(c.lines);
    EXPECT_EQ(out.ok, c.ok);
    EXPECT_EQ(out.category, c.category);
    EXPECT_EQ(out.version, c.version);
  }
}

TEST(SophosOutput, Labels) {
  const SophosOutput out = ParseSophosOutput({
      "SAV32CLI - Command line virus detection tool",
      "  Engine version 3.85.1  ",
      "Virus data version : 5.87",
      "Total viruses (with IDEs) : 12345",
      "IDE file vdl-1.ide Data file type : IDE",
      "IDE only",
      "Data file type : VDL",
      "IDE 2 Data file type",
  });
  EXPECT_EQ(out.engine, "3.85.1");
  EXPECT_EQ(out.dataVersion, "5.87");
  EXPECT_EQ(out.total, "12345");
  EXPECT_EQ(out.ideFiles, 2);
  const SophosOutput none = ParseSophosOutput({"Virus data version 5.87"});
  EXPECT_EQ(none.total, "");
}

TEST(CAOutput, FormatAndFallback) {
  const struct {
    const char* version;
    const char* formatted;
  } formats[] = {{"36.1.9876.0", "36.1.9876"}, {"1.2.3.4.5", "1.2.3"}, {"36.1.9876", ""}, {"", ""}, {"a..b.c", "a..b"}};
  for (const auto& f : formats) EXPECT_EQ(FormatCADef(f.version), f.formatted) << f.version;

  const struct {
    const char* text;
    bool incoming, before, fallback;
  } cases[] = {
      {"1234.0", true, true, false},     // 12340: numeric, not zero
      {"1234.0\r\n", true, true, false}, // a tool's line end is not part of it
      {"0.0", true, true, true},         // zero with an Incoming folder
      {"0.0", false, true, false},       // zero without one is used before an update
      {"1234\r\n5678\r\n", false, true, true},  // several lines are not a number
      {"", false, true, true},
      {"", false, false, false},         // after an update only with an Incoming folder
      {"abc", true, false, true},
      {"0", true, false, true},
      {"77", true, false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CANeedsFileVersion(c.text, c.incoming, c.before), c.fallback)
        << c.text << " incoming=" << c.incoming << " before=" << c.before;
}

TEST(VipreOutput, DefverAndNames) {
  const struct {
    const char* contents;
    const char* definition;
  } defvers[] = {{"12345,2023-01-01", "12345"}, {"12345-2023", "12345"}, {"1,2-3", "1"}, {"12345", ""}, {"", ""}};
  for (const auto& d : defvers) EXPECT_EQ(VipreDefverDefinition(d.contents), d.definition) << d.contents;

  const struct {
    const char* name;
    bool product;
    const char* type;
  } names[] = {
      {"VIPRE Business Agent", true, "VIPRE BUSINESS"},
      {"vipre business agent", true, "VIPRE BUSINESS"},
      {"Sunbelt Enterprise Agent 4", true, "VIPRE ENTERPRISE"},
      {"VIPRE Antivirus + Antispyware 2012", true, "VIPRE DESKTOP"},
      {"VIPRE Antivirus Premium", true, "VIPRE ANTIVIRUS PREMIUM"},
      {"VIPRE Antivirus 2013", true, ""},  // qualifies, but has no type
      {"Managed Antivirus", true, "Managed Antivirus"},
      {"GFI Business Agent", true, "VIPRE 5 BUSINESS"},
      {"Contoso Antivirus", false, ""},
  };
  for (const auto& n : names) {
    EXPECT_EQ(IsVipreProduct(n.name), n.product) << n.name;
    EXPECT_EQ(VipreTypeOf(n.name), n.type) << n.name;
  }
  EXPECT_EQ(JoinTrimmedLines({" 2026-12-06 ", "", "03"}), "2026-12-06  03");
}

using ToolFamilies = ProductTest;

// CA keeps its ScanEngine folder to itself: a family read after it that
// reports the shared engine slot does not report the folder.
TEST_F(ToolFamilies, CAFolderIsNoEngineOfLaterFamilies) {
  m.File("C:\\CA\\ScanEngine\\readme.txt", "");
  Start(Value("SOFTWARE\\Wow6432Node\\ComputerAssociates\\eTrustAntivirus\\CurrentVersion", "", "") +
        Value("SOFTWARE\\Wow6432Node\\ComputerAssociates\\ScanEngine\\Path", "Engine", "C:\\\\CA\\\\ScanEngine") +
        Entry(kUninstall64, "{C1}", "CA Total Defense r12 Client Agent") +
        Value("SOFTWARE\\CA\\TDClient", "AMSigsVersion", "37.0.1.5988"));
  rc.ScanEngineVersion = "5.4.1";  // what an earlier family left
  CAServer_Details(rc);
  EXPECT_EQ(rc.CAScanEnginePath, "C:\\CA\\ScanEngine");
  EXPECT_EQ(rc.ScanEngineVersion, "");
  CA12Server_Details(rc);
  EXPECT_EQ(rc.AntivirusElements, Element("CA 12", "37.0.5988", "", "37.0.5988", "", "", "0"));
}

}  // namespace
