#include <gtest/gtest.h>

#include "products/mcafee.h"
#include "products/products.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

// The program's own view of SOFTWARE on a 64-bit machine, and the 64-bit one.
const std::string k32 = "SOFTWARE\\Wow6432Node\\";
const std::string k64 = "SOFTWARE\\";

const std::string kKeyA = "Network Associates\\TVD\\Shared Components\\VirusScan Engine\\4.0.xx";
const std::string kKeyCurrent = "Network Associates\\TVD\\VirusScan Enterprise\\CurrentVersion";
const std::string kKeyB = "McAfee\\AVEngine";
const std::string kKeyC = "MCAFEE\\ManagedServices\\VirusScan";
const std::string kKeyD = "McAfee\\AVSolution\\DS\\DS";

std::string Key(const std::string& view, const std::string& key, const std::string& values = "") {
  return "[HKEY_LOCAL_MACHINE\\" + view + key + "]\r\n" + values + "\r\n";
}
std::string Sz(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=\"" + value + "\"\r\n";
}
std::string Dword(const std::string& name, const char* hex) { return "\"" + name + "\"=dword:" + hex + "\r\n"; }

const std::string kOpenA = "MSG : Opening Registry key 'SOFTWARE\\" + kKeyA + "'";
const std::string kOpenCurrent = "MSG : Opening Registry key 'SOFTWARE\\" + kKeyCurrent + "'";
const std::string kMissing = "2-The system cannot find the file specified.";
const std::string kAMissing =
    "ERR : Reading Registry SOFTWARE\\" + kKeyA + ". ErrDesc: " + kMissing + " for [MCafee Total Protection]";
const std::string kReadB = "MSG : Reading Registry SOFTWARE\\" + kKeyB +
                           "[ScanEngine:EngineVersionMajor\\EngineVersionMinor || Def:AVDatVersion ]";
const std::string kBMissing =
    "ERR : Reading Registry SOFTWARE\\" + kKeyB + ". ErrDesc: " + kMissing + " for [MCafee Managed VirusScan]";
const std::string kCMissing =
    "ERR : Reading Registry SOFTWARE\\" + kKeyC + ". ErrDesc: " + kMissing + " for [MCafee Managed VirusScan]";
const std::string kOpenD = "MSG : Opening Registry key 'SOFTWARE\\" + kKeyD + "'";

using McAfee = ProductTest;

TEST_F(McAfee, ReaderBranches) {
  const struct {
    const char* name;
    std::string registry;
    bool result;
    const char* definition;
    const char* engine;
    bool vse, endpoint;
    Lines lines;
  } cases[] = {
      {"VirusScan 7123, CurrentVersion 7150: the newer one and its engine",
       Key(k32, kKeyA, Sz("szEngineVer", "5400.1158") + Sz("szVirDefVer", "4.0.7123")) +
           Key(k32, kKeyCurrent, Sz("szEngineVer", "5600.1067") + Sz("szVirDefVer", "4.0.7150")),
       true, "7150", "5600.1067", true, false,
       {kOpenA, "[McAfee VirusScan Enterprise]", kOpenCurrent}},
      {"VirusScan 7150, CurrentVersion 7123: the key's own stands",
       Key(k32, kKeyA, Sz("szEngineVer", "5600.1067") + Sz("szVirDefVer", "4.0.7150")) +
           Key(k32, kKeyCurrent, Sz("szEngineVer", "5400.1158") + Sz("szVirDefVer", "4.0.7123")),
       true, "7150", "5600.1067", true, false,
       {kOpenA, "[McAfee VirusScan Enterprise]", kOpenCurrent}},
      {"numeric, not textual: 10001 is newer than 9999",
       Key(k32, kKeyA, Sz("szEngineVer", "5400") + Sz("szVirDefVer", "4.0.9999")) +
           Key(k32, kKeyCurrent, Sz("szEngineVer", "5600") + Sz("szVirDefVer", "4.0.10001")),
       true, "10001", "5600", true, false,
       {kOpenA, "[McAfee VirusScan Enterprise]", kOpenCurrent}},
      {"szDatVersion when szVirDefVer is empty",
       Key(k32, kKeyA, Sz("szEngineVer", "5400") + Sz("szVirDefVer", "") + Sz("szDatVersion", "7001")),
       true, "7001", "5400", true, false,
       {kOpenA, "[McAfee VirusScan Enterprise]", kOpenCurrent}},
      {"AVEngine key with no values: engine 0.00, no DAT number",
       Key(k32, kKeyB), true, "", "0.00", false, false, {kOpenA, kAMissing, kReadB}},
      {"AVEngine",
       Key(k32, kKeyB, Dword("EngineVersionMajor", "00001770") + Dword("EngineVersionMinor", "00000000") +
                           Dword("AVDatVersion", "00002328")),
       true, "9000", "6000.00", false, false, {kOpenA, kAMissing, kReadB}},
      {"Managed VirusScan",
       Key(k32, kKeyC, Sz("XmlEngineVersion", "5.4.0") + Sz("XmlDATVersion", "5.6210")),
       true, "6210", "5.4.0", false, false, {kOpenA, kAMissing, kReadB, kBMissing}},
      {"Managed VirusScan with both values empty answers nothing",
       Key(k32, kKeyC), false, "", "", false, false, {kOpenA, kAMissing, kReadB, kBMissing}},
      {"Endpoint Security only in the 64-bit view",
       Key(k64, kKeyD, Dword("dwContentMajorVersion", "00000f2a")), true, "3882", "", false, true,
       {kOpenA, kAMissing, kReadB, kBMissing, kCMissing, kOpenD, "MSG : Reading 64 bit Registry ",
        "MSG : Reading 32 bit Registry ", "MSG : Reading McAfee Endpoint version 3882"}},
      {"Endpoint key without dwContentMajorVersion: no made-up 0",
       Key(k32, kKeyD), true, "", "", false, true,
       {kOpenA, kAMissing, kReadB, kBMissing, kCMissing, kOpenD, "MSG : Reading 64 bit Registry ",
        "MSG : Reading McAfee Endpoint version "}},
      {"an empty VirusScan key does not hide Endpoint Security",
       Key(k32, kKeyA) + Key(k64, kKeyD, Dword("dwContentMajorVersion", "00000f2a")), true, "3882", "", false,
       true,
       {kOpenA, "[McAfee VirusScan Enterprise]", kOpenCurrent,
        "Err : Reading Registry SOFTWARE\\" + kKeyA + ". ErrDesc: " + kMissing + " for [MCafee Total Protection]",
        "[MCafee Managed VirusScan]", "ERR : Reading Registry SOFTWARE\\" + kKeyC + ". ErrDesc: " + kMissing,
        kOpenD, "MSG : Reading 64 bit Registry ", "MSG : Reading 32 bit Registry ",
        "MSG : Reading McAfee Endpoint version 3882"}},
      {"nothing installed",
       "", false, "", "", false, false,
       {kOpenA, kAMissing, kReadB, kBMissing, kCMissing, kOpenD, "MSG : Reading 64 bit Registry ",
        "MSG : Reading 32 bit Registry ", "ERR : Reading Registry SOFTWARE\\" + kKeyD + ". ErrDesc : " + kMissing}},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    EXPECT_EQ(GetMcAfeeVirusDef(rc, true), c.result) << c.name;
    EXPECT_EQ(rc.DefVersionBefore, c.definition) << c.name;
    EXPECT_EQ(rc.DefVersionAfter, "") << c.name;
    EXPECT_EQ(rc.ScanEngineVersion, c.engine) << c.name;
    EXPECT_EQ(rc.McAfeeVseFound, c.vse) << c.name;
    EXPECT_EQ(rc.McAfeeEndpointFound, c.endpoint) << c.name;
    EXPECT_EQ(Log(), c.lines) << c.name;
  }
}

// A call after an update fills the after field and leaves out the product
// lines and the errors that name a product.
TEST_F(McAfee, AfterAnUpdateLogsLess) {
  const struct {
    std::string registry;
    Lines lines;
  } cases[] = {
      {Key(k32, kKeyA, Sz("szEngineVer", "5400") + Sz("szVirDefVer", "4.0.7150")), {kOpenA, kOpenCurrent}},
      {Key(k32, kKeyC, Sz("XmlEngineVersion", "5.4.0") + Sz("XmlDATVersion", "7150")), {kOpenA, kReadB}},
      {Key(k64, kKeyD, Dword("dwContentMajorVersion", "00001bee")),
       {kOpenA, kReadB, kOpenD, "MSG : Reading 64 bit Registry ", "MSG : Reading 32 bit Registry ",
        "MSG : Reading McAfee Endpoint version 7150"}},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    EXPECT_TRUE(GetMcAfeeVirusDef(rc, false));
    EXPECT_EQ(rc.DefVersionAfter, "7150");
    EXPECT_EQ(rc.DefVersionBefore, "");
    EXPECT_EQ(Log(), c.lines);
  }
}

TEST_F(McAfee, DenialOtherThanMissingEndsTheSearch) {
  Start("[HKEY_LOCAL_MACHINE\\" + k32 + kKeyA + "]\r\n;sim:deny=KEY_READ\r\n\r\n");
  EXPECT_FALSE(GetMcAfeeVirusDef(rc, true));
  EXPECT_EQ(Log(), (Lines{kOpenA, "ERR : function GetMcAfeeVirusDef - Could not open Registry Key SOFTWARE\\" +
                                      kKeyA}));
}

TEST_F(McAfee, DetailsRecords) {
  const struct {
    const char* name;
    std::string registry;
    std::string element;
    const char* sentence;
    bool alreadyUpdated;
  } cases[] = {
      {"VirusScan", Key(k32, kKeyA, Sz("szEngineVer", "5600.1067") + Sz("szVirDefVer", "4.0.7150")),
       Element("MCAFEE", "7150", "", "7150", "", "5600.1067", "0"), "", false},
      {"Endpoint", Key(k64, kKeyD, Dword("dwContentMajorVersion", "00000f2a")),
       Element("McAfee Endpoint", "3882", "", "3882", "", "", "0"), "", true},
      {"Endpoint without a DAT number", Key(k64, kKeyD), "", "Failed to read McAfee AV Definition.", false},
      {"AVEngine without values", Key(k32, kKeyB), "", "Failed to read McAfee AV Definition.", false},
      {"not installed", "", "", "", false},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    McafeeServer_Details(rc);
    EXPECT_EQ(rc.AntivirusElements, c.element) << c.name;
    EXPECT_EQ(rc.StatusDescription, c.sentence) << c.name;
    EXPECT_EQ(rc.Outcomes.mcafee.alreadyUpdated, c.alreadyUpdated) << c.name;
    EXPECT_EQ(rc.ProductFound, !c.element.empty() || *c.sentence != '\0') << c.name;
  }
}

}  // namespace
