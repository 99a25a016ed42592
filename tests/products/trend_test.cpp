#include <gtest/gtest.h>

#include "products/products.h"
#include "products/trend.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

const std::string k32 = "SOFTWARE\\Wow6432Node\\TrendMicro\\";
const std::string k64 = "SOFTWARE\\TrendMicro\\";
constexpr const char* kFolder = "C:\\Program Files (x86)\\Trend Micro\\Client Server Security Agent\\";

std::string Key(const std::string& key, const std::string& values = "") {
  return "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n" + values + "\r\n";
}
std::string Sz(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=\"" + value + "\"\r\n";
}
std::string Dword(const std::string& name, const char* hex) { return "\"" + name + "\"=dword:" + hex + "\r\n"; }
std::string AppPath(const std::string& view, const std::string& key) {
  return Key(view + key, Sz("Application Path", "C:\\\\Program Files (x86)\\\\Trend Micro\\\\Client Server Security Agent\\\\"));
}

const std::string kMissing = "2-The system cannot find the file specified.";

using Trend = ProductTest;

TEST_F(Trend, MainFinderInBothViews) {
  const struct {
    const char* name;
    std::string registry;
    bool is64;
    std::string path;
    bool internetSecurity, worryFree;
    Lines lines;
  } cases[] = {
      {"OfficeScan", AppPath(k32, "PC-cillinNTCorp\\CurrentVersion"), false, kFolder, false, false,
       {"MSG : Executing Function GetPcCillinPath..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        std::string("MSG : TrendMicro OfficeScan Installation Path is ") + kFolder}},
      {"OfficeScan without a path", Key(k32 + "PC-cillinNTCorp\\CurrentVersion"), false, "", false, false,
       {"MSG : Executing Function GetPcCillinPath..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "MSG : TrendMicro OfficeScan Installation Path not found."}},
      {"64-bit OfficeScan without a path logs the path line", Key(k64 + "PC-cillinNTCorp\\CurrentVersion"), true,
       "", false, false,
       {"MSG : Executing Function GetPcCillinPath64Bit..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "MSG : TrendMicro OfficeScan Installation Path is "}},
      {"Internet Security 16",
       AppPath(k32, "PC-cillin") + Key(k32 + "PC-cillin", Sz("VERSION", "16.0")), false, kFolder, true, false,
       {"MSG : Executing Function GetPcCillinPath..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "ERR : Unable to locate PcCillin Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for for TrendMicro Internet Security Registry Key 'SOFTWARE\\TrendMicro\\PC-cillin'",
        std::string("MSG : TrendMicro Internet Security Registry Key Installation Path is ") + kFolder}},
      {"Internet Security 17 is not this finder's",
       AppPath(k32, "PC-cillin") + Key(k32 + "PC-cillin", Sz("VERSION", " 17.0")), false, "", false, false,
       {"MSG : Executing Function GetPcCillinPath..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "ERR : Unable to locate PcCillin Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for for TrendMicro Internet Security Registry Key 'SOFTWARE\\TrendMicro\\PC-cillin'",
        "ERR : Can not locate 'TrendMicro Internet Security' , version is 17 or 17 pro"}},
      {"Worry-Free, 64-bit view", AppPath(k64, "Wofie\\CurrentVersion"), true, kFolder, false, true,
       {"MSG : Executing Function GetPcCillinPath64Bit..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "ERR : Unable to locate PcCillin Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for for TrendMicro Internet Security Registry Key 'SOFTWARE\\TrendMicro\\PC-cillin'",
        "ERR : Unable to locate 'TrendMicro Internet Security' Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for for TrendMicro WorryFree Registry Key 'SOFTWARE\\TrendMicro\\Wofie\\CurrentVersion'",
        std::string("MSG : TrendMicro WorryFree Installation Path is ") + kFolder}},
      {"nothing", "", false, "", false, false,
       {"MSG : Executing Function GetPcCillinPath..",
        "MSG : Checking for TrendMicro OfficeScan Registry Key 'SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion'",
        "ERR : Unable to locate PcCillin Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for for TrendMicro Internet Security Registry Key 'SOFTWARE\\TrendMicro\\PC-cillin'",
        "ERR : Unable to locate 'TrendMicro Internet Security' Installation Path, ErrorCode :" + kMissing,
        "MSG : Checking for TrendMicro WorryFree Registry Key 'SOFTWARE\\TrendMicro\\Wofie\\CurrentVersion'",
        "ERR : Unable to locate 'TrendMicro WorryFree' Installation Path, ErrorCode :" + kMissing}},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    EXPECT_EQ(c.is64 ? GetPcCillinPath64Bit(rc) : GetPcCillinPath(rc), c.path) << c.name;
    EXPECT_EQ(rc.TrendInternetSecurityFound, c.internetSecurity) << c.name;
    EXPECT_EQ(rc.WorryFreeFound, c.worryFree) << c.name;
    EXPECT_EQ(Log(), c.lines) << c.name;
  }
}

TEST_F(Trend, InternetSecurity17FinderTakesOnlyVersion17) {
  const struct {
    const char* version;
    std::string path;
    const char* last;
  } cases[] = {
      {"17.0.1181", kFolder, "MSG : TrendMicro Internet Security 17 and 17 pro Registry Key Installation Path is "},
      {"16.0", "", "ERR : Can not locate 'TrendMicro Internet Security 17 and 17 pro' , the version is not 17 "},
  };
  for (const auto& c : cases) {
    Start(AppPath(k32, "PC-cillin") + Key(k32 + "PC-cillin", Sz("VERSION", c.version)));
    EXPECT_EQ(GetPcCillinPathInternet(rc), c.path) << c.version;
    EXPECT_EQ(Log().back(), c.last + c.path) << c.version;
  }
}

// The pattern rules of the main reader: the swap, the validity rule, the
// Worry-Free keys and the INI fallbacks.
TEST_F(Trend, PatternReader) {
  const std::string misc = k32 + "PC-cillinNTCorp\\CurrentVersion\\Misc.";
  const std::string scanType = k32 + "UniClient\\1600\\Scan\\iCRC";
  const std::string component = k32 + "UniClient\\1600\\Component";
  const std::string longPattern(51, '9');
  const struct {
    const char* name;
    std::string registry;
    std::string iniFile, iniText;
    bool result;
    const char* stored;
    const char* engine;
    const char* scanType;
    bool worryFree;
    Lines expectedLines;  // lines that must appear, in order
    const char* absentLine;
  } cases[] = {
      {"NonCrc greater: swapped",
       Key(misc, Sz("VsApiNT-Ver", "12-000-1008") + Dword("InternalNonCrcPatternVer", "00a7fdb0") +
                     Dword("InternalPatternVer", "00a7fd4c")),
       "", "", true, "11009456", "12.000.1008", "", false,
       {"MSG : Key 'VsApiNT-Ver' = 12.000.1008", "MSG : key 'InternalNonCrcPatternVer' = 11009456",
        "MSG : key 'InternalPatternVer' = 11009356", "MSG : Swapping the Values to get the updated version"},
       "MSG : Trend"},
      {"equal: no swap",
       Key(misc, Dword("InternalNonCrcPatternVer", "00a7fd4c") + Dword("InternalPatternVer", "00a7fd4c")), "", "",
       true, "11009356", "", "", false, {"MSG : key 'InternalPatternVer' = 11009356"},
       "MSG : Swapping the Values to get the updated version"},
      {"zero patterns: PatternVer",
       Key(misc, Sz("PatternVer", "16.651.00")), "", "", true, "16.651.00", "", "", false,
       {"MSG : key 'InternalPatternVer' = 0", "MSG : key 'PatternVer' = 16.651.00"}, "MSG : Reading file: "},
      {"PatternVer over 50 characters: the INI files",
       Key(misc, Sz("PatternVer", longPattern)), "updinfo.ini",
       "[INI_UPDATE_SECTION]\r\nPtnfile_Version=16.653.00\r\nEngineNT_Version=12.0.1008\r\n", true, "16.653.00",
       "12.0.1008", "", false,
       {"MSG : key 'PatternVer' = " + longPattern,
        std::string("MSG : ") + kFolder + "pc-cillin.ini does not exists",
        std::string("MSG : Reading file: ") + kFolder + "updinfo.ini",
        "MSG : TrendMicro Officescan Definition [Pattern] = 16.653.00", "MSG : TM Officescan [Engine] = 12.0.1008"},
       ""},
      {"Worry-Free smart, dots removed",
       Key(scanType, Dword("ScanType", "00000001")) + Key(component, Sz("c3t1208090624", "12.345.00")), "", "",
       true, "1234500", "", "Smart", true,
       {"MSG : Checking the WorryFree Scan type in : SOFTWARE\\TrendMicro\\UniClient\\1600\\Scan\\iCRC",
        "MSG : Opening TrendMicro Worry Free Registry key 'SOFTWARE\\TrendMicro\\UniClient\\1600\\Component'",
        "MSG : Smart scan 'DefinitionVersion' = 1234500"},
       "MSG : Reading file: "},
      {"Worry-Free conventional",
       Key(scanType, Dword("ScanType", "00000000")) + Key(component, Sz("c3t4", "16.651.00")), "", "", true,
       "1665100", "", "Conventional", true, {"MSG : Conventional scan 'DefinitionVersion' = 1665100"}, ""},
      {"Internet Security 2008 component key",
       Key(k32 + "PC-cillin\\17\\Component\\Pattern\\0x00000004", Sz("DisplayVersion", "5.123.00")), "", "", true,
       "512300", "", "", false,
       {"ERR : Unable to open Registry Key 'SOFTWARE\\TrendMicro\\PC-cillin\\16\\Component\\Pattern\\0x00000004'. "
        "ErrDesc: " + kMissing,
        "MSG : key 'DisplayVersion' = 512300"},
       ""},
      {"pc-cillin.ini", "", "pc-cillin.ini", "[Info]\r\nPattern=5.321.00\r\nEngine=9.1\r\n", true, "5.321.00", "9.1",
       "", false,
       {std::string("MSG : Reading file: ") + kFolder + "pc-cillin.ini",
        "MSG : TrendMicro PC-cillin Definition [Pattern] = 5.321.00", "MSG : TM PC-cillin [Engine] = 9.1"},
       "updinfo.ini"},
      {"a zero pattern is read but not stored", "", "pc-cillin.ini", "[Info]\r\nPattern=0\r\n", true, "", "", "",
       false, {"MSG : TrendMicro PC-cillin Definition [Pattern] = 0"}, ""},
  };
  for (const auto& c : cases) {
    if (!c.iniFile.empty()) m.File(std::string(kFolder) + c.iniFile, c.iniText);
    Start(c.registry);
    rc.TrendInstallPath = kFolder;
    EXPECT_EQ(GetTMVirusDef(rc, true), c.result) << c.name;
    EXPECT_EQ(rc.TrendDefBefore, c.stored) << c.name;
    EXPECT_EQ(rc.TrendEngineVersion, c.engine) << c.name;
    EXPECT_EQ(rc.WorryFreeScanType, c.scanType) << c.name;
    EXPECT_EQ(rc.WorryFreeFound, c.worryFree) << c.name;
    const Lines log = Log();
    auto at = log.begin();
    for (const std::string& line : c.expectedLines) {
      at = std::find(at, log.end(), line);
      EXPECT_NE(at, log.end()) << c.name << ": " << line;
    }
    if (*c.absentLine != '\0') {
      for (const std::string& line : log) EXPECT_EQ(line.find(c.absentLine), std::string::npos) << c.name << ": " << line;
    }
    if (!c.iniFile.empty()) std::filesystem::remove(m.folder() / "drive_c/Program Files (x86)/Trend Micro/Client Server Security Agent" / c.iniFile);
  }
}

TEST_F(Trend, ReadersDoNothingWithoutAFolder) {
  Start(Key(k32 + "AMSP", Sz("BFVersion", "1.2")));
  rc.TrendDefBefore = rc.TrendDefAfter = "stale";
  EXPECT_FALSE(GetTMVirusDef(rc, true));
  EXPECT_FALSE(GetTM17VirusDef64bit(rc, false));
  EXPECT_FALSE(GetTMTITANIUMVirusDef(rc, true));
  EXPECT_EQ(rc.TrendDefBefore, "");
  EXPECT_EQ(rc.TrendDefAfter, "");
  EXPECT_EQ(Log(), (Lines{"MSG : Executing Function GetTMVirusDef...", "MSG : Executing Function GetTM17VirusDef64bit...",
                          "MSG : Executing Function GetTMTITANIUMVirusDef..."}));
}

TEST_F(Trend, DetailsRecords) {
  const std::string is17 = AppPath(k32, "PC-cillin") + Key(k32 + "PC-cillin", Sz("VERSION", "17.0"));
  const struct {
    const char* name;
    void (*details)(RunContext&);
    std::string registry;
    std::string element;
    const char* sentence;
  } cases[] = {
      {"OfficeScan", TrendServer_Details,
       AppPath(k32, "PC-cillinNTCorp\\CurrentVersion") +
           Key(k32 + "PC-cillinNTCorp\\CurrentVersion\\Misc.",
               Sz("VsApiNT-Ver", "12-000-1008") + Dword("InternalPatternVer", "00a7fd4c")),
       Element("TRENDMICRO", "11009356", "", "11009356", "", "12.000.1008", "0"), ""},
      {"OfficeScan without a pattern", TrendServer_Details, AppPath(k32, "PC-cillinNTCorp\\CurrentVersion"), "",
       "Failed to read TrendMicro AV Definition."},
      {"Worry-Free smart", TrendServer_Details,
       AppPath(k32, "Wofie\\CurrentVersion") + Key(k32 + "UniClient\\1600\\Scan\\iCRC", Dword("ScanType", "00000001")) +
           Key(k32 + "UniClient\\1600\\Component", Sz("c3t1208090624", "12.345.00")),
       Element("WorryFreeSmart", "1234500", "", "1234500", "", "", "0"), ""},
      {"Worry-Free without its keys", TrendServer_Details, AppPath(k32, "Wofie\\CurrentVersion"), "",
       "Failed to read WorryFree Definition."},
      {"Internet Security 17", TrendinternetServer_Details,
       is17 + Key(k32 + "PC-cillin\\17\\Component\\Pattern\\0x00000004", Sz("DisplayVersion", "15.859.00")),
       Element("TMInternetSecurity", "1585900", "", "1585900", "", "", "0"), ""},
      {"Internet Security 17 without a pattern", TrendinternetServer_Details, is17, "",
       "Failed to read TrendMicro Internet Security 17 AV Definition."},
      {"Titanium in the 64-bit view", TrendTitaniumServer_Details,
       Key(k64 + "UniClient\\1700\\Misc", Sz("ProductPath", "C:\\\\Program Files\\\\Trend Micro\\\\Titanium")) +
           Key(k64 + "AMSP", Sz("BFVersion", "2.96.1025")),
       Element("TrendMicroTitanium", "2961025", "", "2961025", "", "", "0"), ""},
      {"Deep Security Agent", TrendMicroSecurity_Details,
       Key(k64 + "Deep Security Agent", Sz("InstallationFolder", "C:\\\\Program Files\\\\Trend Micro\\\\Deep Security Agent\\\\")) +
           Key(k64 + "AMSP", Sz("BFVersion", "0")),
       "", "Failed to read Trend Micro Security AV Definition."},
      {"nothing installed", TrendServer_Details, "", "", ""},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    rc.Is64BitOs = true;
    c.details(rc);
    EXPECT_EQ(rc.AntivirusElements, c.element) << c.name;
    EXPECT_EQ(rc.StatusDescription, c.sentence) << c.name;
  }
}

}  // namespace
