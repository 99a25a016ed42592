#include <gtest/gtest.h>

#include <algorithm>

#include "products/norton.h"
#include "base/text.h"
#include "tests/products/product_fixture.h"
#include "products/products.h"

namespace {

using namespace producttest;

// The program's (32-bit) view of a SOFTWARE key on the 64-bit test machine.
std::string View32(const std::string& underSoftware) { return "SOFTWARE\\Wow6432Node\\" + underSoftware; }

const std::string kSepApps = View32("Symantec\\Symantec Endpoint Protection\\InstalledApps");
const std::string kNortonApp = View32("Norton\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}");

std::string EntryWithLocation(const std::string& list, const std::string& name, const std::string& location) {
  return "[" + list + "\\{N1}]\r\n\"DisplayName\"=\"" + name + "\"\r\n\"InstallLocation\"=\"" +
         ReplaceAll(location, "\\", "\\\\") + "\"\r\n\r\n";
}

std::string RegPath(const std::string& path) { return ReplaceAll(path, "\\", "\\\\"); }

bool Has(const Lines& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

using SymantecDetection = ProductTest;

TEST_F(SymantecDetection, NameTablesOfBothViews) {
  const struct {
    const char* name;
    bool found32, found64;  // installed (qualifying and not skipped)
    bool qualifies32, qualifies64;
    bool v5, business;
    bool cloud32, cloud64;
  } cases[] = {
      {"Norton AntiVirus 2012", true, true, true, true, true, false, false, false},
      {"  norton 360 premier ", true, true, true, true, true, false, false, false},
      {"Symantec AntiVirus", true, true, true, true, false, false, false, false},
      {"Symantec Mail Security for Exchange", true, true, true, true, false, false, false, false},
      {"Norton Security", true, true, true, true, false, false, false, false},
      {"Symantec", true, true, true, true, false, false, false, false},
      {"Symantec Security", false, false, false, false, false, false, false, false},
      {"Norton Business Suite", true, true, true, true, false, true, false, false},
      {"Symantec.cloud - Endpoint Protection", true, true, true, true, true, false, true, true},
      {"Acme Symantec.cloud - Endpoint Protection Agent", false, true, false, true, true, false, false, false},
      {"Symantec Endpoint Protection Cloud", true, true, true, true, true, false, true, false},
      {"Symantec Endpoint Protection.cloud", true, true, true, true, true, false, true, false},
      // Qualifying, then skipped: the flags stay set.
      {"Symantec Endpoint Protection Manager", false, false, true, true, true, false, false, false},
      {"Norton AntiVirus Parent MSI", false, false, true, true, true, false, false, false},
      {"Symantec AntiVirus 4.3 for Microsoft SharePoint", false, false, true, true, false, false, false, false},
      {"Symantec Mail Security for SMTP 5.0", false, false, true, true, false, false, false, false},
      {"Contoso PDF Reader", false, false, false, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    for (const bool is64 : {false, true}) {
      const std::string trimmed = TrimSpaces(c.name);
      Start(Entry(is64 ? kUninstall64 : kUninstall32, "{N1}", c.name));
      const bool found = is64 ? CheckForSymenticProductsfor64OS(rc) : CheckForSymenticProducts(rc);
      const bool qualifies = is64 ? c.qualifies64 : c.qualifies32;
      const std::string what = std::string(c.name) + (is64 ? " (64-bit)" : " (32-bit)");
      EXPECT_EQ(found, is64 ? c.found64 : c.found32) << what;
      EXPECT_EQ(rc.Norton.SymantecDisplayName, qualifies ? trimmed : "") << what;
      EXPECT_EQ(rc.Norton.NortonV5Package, c.v5 && qualifies) << what;
      EXPECT_EQ(rc.Norton.NortonBusinessSuiteFound, c.business) << what;
      EXPECT_EQ(rc.Norton.SymantecCloudFound, is64 ? c.cloud64 : c.cloud32) << what;
      const Lines log = Log();
      EXPECT_EQ(Has(log, "MSG : Symentic Product : '" + trimmed + "' is installed."), found) << what;
      // Only the 32-bit search names the entries it looks at.
      EXPECT_EQ(Has(log, trimmed), qualifies && !is64) << what;
      EXPECT_EQ(Has(log, "SKipped:: " + trimmed), qualifies && !found && !is64) << what;
    }
  }
}

TEST_F(SymantecDetection, WalkGoesOnPastSkippedEntriesAndStopsAtTheFirstInstalled) {
  Start(Entry(kUninstall32, "{A}", "Symantec Endpoint Protection Manager") +
        Entry(kUninstall32, "{B}", "Contoso PDF Reader") + Entry(kUninstall32, "{C}", "Norton 360") +
        Entry(kUninstall32, "{D}", "Norton Business Suite"));
  EXPECT_TRUE(CheckForSymenticProducts(rc));
  EXPECT_EQ(Log(), (Lines{"MSG : Executing Function CheckForSymenticProducts..",
                          "MSG : Searching for Norton Anti-virus in registry key :: "
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                          "Symantec Endpoint Protection Manager",
                          "SKipped:: Symantec Endpoint Protection Manager", "Norton 360",
                          "MSG : Symentic Product : 'Norton 360' is installed."}));
  EXPECT_EQ(rc.Norton.SymantecDisplayName, "Norton 360");
  EXPECT_FALSE(rc.Norton.NortonBusinessSuiteFound);
}

TEST_F(SymantecDetection, InstallLocationPerView) {
  const struct {
    const char* name;
    const char* location;
    bool is64;
    const char* stored;
  } cases[] = {
      {"Norton Security", "C:\\Program Files\\Norton Security", false, "C:\\Program Files\\Norton Security\\"},
      {"Norton Security", "C:\\Program Files\\Norton Security", true, "C:\\Program Files\\Norton Security"},
      {"Symantec Endpoint Protection", "C:\\SEP\\", false, "C:\\SEP\\"},
      {"Symantec Endpoint Protection", "C:\\SEP\\", true, ""},
      {"Norton Internet Security", "C:\\NIS", false, "C:\\NIS\\"},
      {"Norton AntiVirus", "C:\\NAV", false, ""},
      {"Norton Security with Backup", "", false, ""},
  };
  for (const auto& c : cases) {
    Start(EntryWithLocation(c.is64 ? kUninstall64 : kUninstall32, c.name, c.location));
    EXPECT_TRUE(c.is64 ? CheckForSymenticProductsfor64OS(rc) : CheckForSymenticProducts(rc)) << c.name;
    EXPECT_EQ(rc.Norton.StrNortonInstallLocation, c.stored) << c.name << (c.is64 ? " 64" : " 32");
  }
}

TEST_F(SymantecDetection, UninstallListOpenFailuresPerView) {
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  Start("[" + std::string(kUninstall32) + "]\r\n;sim:deny=KEY_READ\r\n\r\n[" + kUninstall64 +
        "]\r\n;sim:deny=KEY_READ\r\n\r\n");
  EXPECT_FALSE(CheckForSymenticProducts(rc));
  EXPECT_FALSE(CheckForSymenticProductsfor64OS(rc));
  EXPECT_EQ(Log(), (Lines{"MSG : Executing Function CheckForSymenticProducts..",
                          "MSG : Searching for Norton Anti-virus in registry key :: " + key,
                          "ERR : 5. Does not have sufficient privilege for " + key,
                          "Executing Function CheckForSymenticProductsfor64OS..",
                          "MSG : Searching for Norton Anti-virus in registry key :: " + key,
                          "ERR : 5 Does not have sufficient privilege for " + key}));
  Start("");
  EXPECT_FALSE(CheckForSymenticProducts(rc));
  EXPECT_EQ(Log().back(),
            "ERR : Could not open registry key. ErrDesc: 2-The system cannot find the file specified. for " + key);
}

// ---- The definfo.dat search ----------------------------------------------------

using DefinitionSearch = ProductTest;

constexpr const char* kDefs = "CurDefs=20230125.022\r\n";

TEST_F(DefinitionSearch, FirstExistingCandidateInStepOrderWins) {
  const struct {
    const char* step;
    std::string registry;
    std::string installLocation;
    std::vector<std::string> files;
    std::string expected;
    bool pathSearchUsed;
  } cases[] = {
      {"1 before 2",
       Value(kSepApps, "SEPAppDataDir", "C:\\\\S1\\\\"),
       "",
       {"C:\\S1\\Data\\Definitions\\VirusDefs\\Definfo.dat", "C:\\S1\\Data\\Definitions\\SDSDefs\\Definfo.dat"},
       "C:\\S1\\Data\\Definitions\\VirusDefs\\Definfo.dat",
       true},
      {"3 from the Norton install dir",
       Value(kNortonApp, "InstallDir", "C:\\\\S3"),
       "",
       {"C:\\S3\\Data\\Definitions\\BASHDefs\\Definfo.dat"},
       "C:\\S3\\Data\\Definitions\\BASHDefs\\Definfo.dat",
       true},
      {"SEP value wins over the Norton install dir",
       Value(kSepApps, "SEPAppDataDir", "C:\\\\S2") + Value(kNortonApp, "InstallDir", "C:\\\\N2"),
       "",
       {"C:\\N2\\Data\\Definitions\\VirusDefs\\Definfo.dat", "C:\\S2\\Data\\Definitions\\SDSDefs\\Definfo.dat"},
       "C:\\S2\\Data\\Definitions\\SDSDefs\\Definfo.dat",
       true},
      {"4 before 9, after a missing step 1",
       Value(kSepApps, "SEPAppDataDir", "C:\\\\S4"),
       "C:\\L4\\",
       {"C:\\L4\\NortonData\\22.11.2.7\\Definitions\\AntispamDefs\\definfo.dat",
        "C:\\L4\\NortonData\\22.2.0.31\\Definitions\\IPSDefs\\definfo.dat"},
       "C:\\L4\\NortonData\\22.2.0.31\\Definitions\\IPSDefs\\definfo.dat",
       true},
      {"7",
       "",
       "C:\\L7\\",
       {"C:\\L7\\NortonData\\22.10.1.10\\Definitions\\SDSDefs\\definfo.dat"},
       "C:\\L7\\NortonData\\22.10.1.10\\Definitions\\SDSDefs\\definfo.dat",
       true},
      {"11: under the last version folder",
       "",
       "C:\\L11\\",
       {"C:\\L11\\NortonData\\21.0.0.1\\readme.txt",
        "C:\\L11\\NortonData\\23.1.0.4\\Definitions\\SDSDefs\\definfo.dat"},
       "C:\\L11\\NortonData\\23.1.0.4\\Definitions\\SDSDefs\\definfo.dat",
       true},
      {"12: the parent of the AVDEFMGR folder",
       Value(View32("Norton\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}\\SharedDefs"), "AVDEFMGR",
             "C:\\\\P12\\\\SharedDefs\\\\VirusDefs_20230125.022"),
       "",
       {"C:\\P12\\SharedDefs\\Definfo.dat"},
       "C:\\P12\\SharedDefs\\Definfo.dat",
       false},
      {"13",
       Value(View32("NORTON\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}"), "APPDATA", "C:\\\\P13"),
       "",
       {"C:\\P13\\Definitions\\VirusDefs\\Definfo.dat"},
       "C:\\P13\\Definitions\\VirusDefs\\Definfo.dat",
       false},
      {"14",
       Value(View32("Symantec\\InstalledApps"), "AVENGEDEFS", "C:\\\\P14\\\\Defs"),
       "",
       {"C:\\P14\\Defs\\DEFINFO.dat"},
       "C:\\P14\\Defs\\DEFINFO.dat",
       false},
      {"15",
       Value(View32("Microsoft\\Windows\\CurrentVersion"), "CommonFilesDir", "C:\\\\P15"),
       "",
       {"C:\\P15\\Symantec Shared\\VirusD~1\\DEFINFO.dat"},
       "C:\\P15\\Symantec Shared\\VirusD~1\\DEFINFO.dat",
       false},
  };
  for (const auto& c : cases) {
    for (const std::string& f : c.files) m.File(f, kDefs);
    Start(c.registry);
    rc.Norton.StrNortonInstallLocation = c.installLocation;
    EXPECT_TRUE(readFileVirusDef(rc, true, "")) << c.step;
    EXPECT_EQ(rc.Norton.DefinitionFile, c.expected) << c.step;
    EXPECT_EQ(rc.Norton.NortonPathSearchUsed, c.pathSearchUsed) << c.step;
    EXPECT_TRUE(Has(Log(), "MSG : File found " + c.expected)) << c.step;
  }
}

TEST_F(DefinitionSearch, NothingFoundWalksEveryFallbackAndReportsForServerUpdate) {
  const std::string sep = "SOFTWARE\\Symantec\\Symantec Endpoint Protection\\InstalledApps";
  const std::string norton = "SOFTWARE\\Norton\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}";
  const std::string common = "C:\\Program Files (x86)\\Common Files\\";
  Start(Value(View32("Symantec\\Symantec Endpoint Protection\\InstalledApps"), "", "") +
        Value(View32("Microsoft\\Windows\\CurrentVersion"), "CommonFilesDir", RegPath(common)));
  rc.StatusDescription = "Earlier.";
  EXPECT_FALSE(readFileVirusDef(rc, true, "ServerUpdate"));
  const Lines log = Log();
  const Lines expectedTail = {
      "MSG :   StrNortonInstallLocation : ",
      "MSG : Definition file  does not exists!!",
      "MSG : Checking Registry key " + norton + "\\SharedDefs[AVDEFMGR]",
  };
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), "MSG : Checking Registry key " + sep);
  EXPECT_TRUE(std::search(log.begin(), log.end(), expectedTail.begin(), expectedTail.end()) != log.end());
  const Lines end = {
      "MSG : Searching for 14: DEFINFO.dat",
      "MSG : Searching for 15:" + common + "Symantec Shared\\VirusD~1\\DEFINFO.dat",
      "MSG : " + common + "Symantec Shared\\VirusD~1\\DEFINFO.dat Not found",
      "MSG : Norton ServerUpdate : " + common + "Symantec Shared\\VirusD~1\\DEFINFO.dat Not Found.",
  };
  EXPECT_EQ(Lines(log.end() - 4, log.end()), end);
  EXPECT_EQ(rc.StatusDescription, "Earlier.Norton : DefInfo.dat Not Found.");
  EXPECT_FALSE(rc.Norton.NortonPathSearchUsed);

  for (const char* mode : {"", "BeforeLiveUpdate", "serverupdate"}) {
    Start("");
    EXPECT_FALSE(readFileVirusDef(rc, true, mode));
    EXPECT_EQ(rc.StatusDescription, "") << mode;
  }
}

TEST_F(DefinitionSearch, InstallFolderStepsAreLoggedBeforeEachCheck) {
  m.File("C:\\L\\NortonData\\22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat", kDefs);
  Start("");
  rc.Norton.StrNortonInstallLocation = "C:\\L\\";
  EXPECT_TRUE(readFileVirusDef(rc, true, ""));
  const Lines log = From(Log(), "MSG :   StrNortonInstallLocation");
  const std::string data = "C:\\L\\NortonData\\";
  ASSERT_GE(log.size(), 14u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 14),
            (Lines{"MSG :   StrNortonInstallLocation : C:\\L\\",
                   "MSG : " + data + "22.2.0.31\\Definitions\\IPSDefs\\definfo.dat",
                   "MSG : Searching for 4: " + data + "22.2.0.31\\Definitions\\IPSDefs\\definfo.dat",
                   "MSG : " + data + "22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : Searching for 5:" + data + "22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : " + data + "22.9.3.13\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : " + data + "22.10.1.10\\Definitions\\SDSDefs\\definfo.dat",
                   "MSG : " + data + "22.10.1.10\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : " + data + "22.11.2.7\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : Searching for subfolder : 22.8.0.50",
                   "MSG : " + data + "22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : " + data + "22.8.0.50\\Definitions\\SDSDefs\\definfo.dat",
                   "MSG : checking 123 : strVirusDef : " + data +
                       "22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat",
                   "MSG : File found " + data + "22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat"}));

  Start("");
  rc.Norton.StrNortonInstallLocation = "C:\\Nowhere\\";
  readFileVirusDef(rc, true, "");
  EXPECT_TRUE(Has(Log(), "MSG : Folder not found C:\\Nowhere\\NortonData"));
}

// ---- Parsing -------------------------------------------------------------------

using DefinitionParsing = ProductTest;

constexpr const char* kFile = "C:\\SEP\\Data\\Definitions\\VirusDefs\\Definfo.dat";

TEST_F(DefinitionParsing, DatesRevisionAndResult) {
  const struct {
    const char* what;
    std::string content;
    bool result;
    const char* current;  // BeforeCurDefs, MM/DD/YYYY
    const char* last;
    const char* revision;
    const char* status;
    const char* logged;  // a line the log must hold
  } cases[] = {
      {"later current", "[DefDates]\r\nCurDefs=20230125.022\r\nLastDefs=20230124.025\r\n", true, "01/25/2023",
       "01/24/2023", "022", "", "MSG : Proper definitions CurDefs 2023-01-25 with LastDefs 2023-01-24"},
      {"later last is swapped", "CurDefs=20230124.022\r\nLastDefs=20230125.025\r\n", true, "01/25/2023",
       "01/24/2023", "025", "", "MSG : Swapping CurDefs 2023-01-24 with LastDefs 2023-01-25"},
      {"key case, spaces, LF only", "  curdefs = 20230125.7  \nLASTDEFS=20221231.3\n", true, "01/25/2023",
       "12/31/2022", "7", "", "MSG : CurDefs(formated to ####-##-##)::2023-01-25"},
      {"no revision", "CurDefs=20230125", true, "01/25/2023", "12/30/1899", "", "",
       "MSG : B4 update Norton definition(YYYY-MM-DD) ::2023-01-25"},
      {"blank-looking line is skipped", "   \r\nCurDefs=20230125.1\r\n", true, "01/25/2023", "12/30/1899", "1",
       "", "MSG : Definfo :: CurDefs=20230125.1"},
      {"reading stops at an empty line", "CurDefs=20230125.1\r\n\r\nLastDefs=20240101.1\r\n", true,
       "01/25/2023", "12/30/1899", "1", "", "MSG : fncGeDtFrmt 2023-01-25"},
      {"empty first line", "\r\nCurDefs=20230125.022\r\n", false, "12/30/1899", "12/30/1899", "", "",
       "MSG : File found C:\\SEP\\Data\\Definitions\\VirusDefs\\Definfo.dat"},
      {"only LastDefs", "LastDefs=20230124.025\r\n", false, "12/30/1899", "12/30/1899", "", "",
       "MSG : Definfo :: LastDefs=20230124.025"},
      {"empty file", "", false, "12/30/1899", "12/30/1899", "", "",
       "Definfo.data is blank. unable to read the file"},
      {"invalid date", "CurDefs=20231345.001\r\n", true, "12/30/1899", "12/30/1899", "001",
       "Norton : Type mismatch.", "ERR : Function readFileVirusDef 13 Type mismatch"},
      {"year past 9999", "CurDefs=100000101.001\r\n", true, "12/30/1899", "12/30/1899", "001",
       "Norton : Type mismatch.", "MSG : fncGeDtFrmt 10000-01-01"},
      {"bad last date", "CurDefs=20230125.1\r\nLastDefs=20230230.2\r\n", true, "12/30/1899", "12/30/1899",
       "1", "Norton : Type mismatch.", "ERR : Function readFileVirusDef 13 Type mismatch"},
      {"NUL inside the date", std::string("CurDefs=2023\0" "0125.1\r\n", 20), true, "12/30/1899",
       "12/30/1899", "1", "Norton : Type mismatch.", "MSG : Definfo :: CurDefs=2023?0125.1"},
      {"non-ASCII revision", "CurDefs=20230125.0\xE9\r\n", true, "01/25/2023", "12/30/1899", "0\xE9", "",
       "MSG : Definfo :: CurDefs=20230125.0\xE9"},
      {"CurDefs without a value", "CurDefs=\r\n", false, "12/30/1899", "12/30/1899", "",
       "Norton : Subscript out of range.", "ERR : Function readFileVirusDef 9 Subscript out of range"},
  };
  for (const auto& c : cases) {
    m.File(kFile, c.content);
    Start(Value(kSepApps, "SEPAppDataDir", "C:\\\\SEP"));
    rc.StatusDescription = "Gathered earlier.";
    EXPECT_EQ(readFileVirusDef(rc, true, "ServerUpdate"), c.result) << c.what;
    EXPECT_EQ(FormatRecordDate(rc.Norton.BeforeCurDefs), c.current) << c.what;
    EXPECT_EQ(FormatRecordDate(rc.Norton.BeforeLastDefs), c.last) << c.what;
    EXPECT_EQ(FormatRecordDate(rc.Norton.AfterCurDefs), "12/30/1899") << c.what;
    EXPECT_EQ(rc.Norton.CurDefsRevision, c.revision) << c.what;
    EXPECT_EQ(rc.StatusDescription, c.status) << c.what;
    EXPECT_TRUE(Has(Log(), c.logged)) << c.what;
  }
}

TEST_F(DefinitionParsing, AfterUpdateFillsTheAfterDatesOnly) {
  m.File(kFile, "CurDefs=20230126.3\r\nLastDefs=20230125.2\r\n");
  Start(Value(kSepApps, "SEPAppDataDir", "C:\\\\SEP"));
  rc.Norton.AfterLastDefs = {2020, 1, 1};
  EXPECT_TRUE(readFileVirusDef(rc, false, "AfterLiveUpdate"));
  EXPECT_EQ(FormatRecordDate(rc.Norton.AfterCurDefs), "01/26/2023");
  EXPECT_EQ(FormatRecordDate(rc.Norton.AfterLastDefs), "01/25/2023");
  EXPECT_EQ(FormatRecordDate(rc.Norton.BeforeCurDefs), "12/30/1899");
  const Lines log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("MSG : B4 update", 0) == 0; }),
            0);

  // Without LastDefs the earlier after-update last date stays.
  m.File(kFile, "CurDefs=20230127.4\r\n");
  Start(Value(kSepApps, "SEPAppDataDir", "C:\\\\SEP"));
  rc.Norton.AfterLastDefs = {2020, 1, 1};
  EXPECT_TRUE(readFileVirusDef(rc, false, ""));
  EXPECT_EQ(FormatRecordDate(rc.Norton.AfterLastDefs), "01/01/2020");
}

TEST_F(DefinitionParsing, LargeFilesAreReadWithBoundedLogging) {
  const struct {
    const char* what;
    std::string content;
    bool result;
    const char* current;
    const char* logged;
  } cases[] = {
      {"megabytes of lines after the dates",
       "CurDefs=20230125.1\r\n" + [] {
         std::string s;
         for (int i = 0; i < 200000; ++i) s += "Key=Value\r\n";
         return s;
       }() + "CurDefs=20990101.1\r\n",
       true, "01/25/2023", "MSG : Definfo.dat has more than 1000 lines; the rest is not read"},
      {"a megabyte of digits", "CurDefs=" + std::string(2 << 20, '7') + ".1\r\n", true, "12/30/1899",
       "MSG : Function fncGeDtFrmt 6\tOverflow"},
      {"a megabyte line of text", "CurDefs=" + std::string(2 << 20, 'x') + "\r\n", true, "12/30/1899",
       "ERR : Function readFileVirusDef 13 Type mismatch"},
  };
  for (const auto& c : cases) {
    m.File(kFile, c.content);
    Start(Value(kSepApps, "SEPAppDataDir", "C:\\\\SEP"));
    EXPECT_EQ(readFileVirusDef(rc, true, ""), c.result) << c.what;
    EXPECT_EQ(FormatRecordDate(rc.Norton.BeforeCurDefs), c.current) << c.what;
    const Lines log = Log();
    EXPECT_TRUE(Has(log, c.logged)) << c.what;
    for (const std::string& line : log) EXPECT_LT(line.size(), 400u) << c.what;
  }
}

TEST_F(DefinitionParsing, DigitsLaidIntoTheDatePattern) {
  const struct {
    std::string in;
    const char* out;
    const char* logged;
  } cases[] = {
      {"20230125", "2023-01-25", "MSG : fncGeDtFrmt 2023-01-25"},
      {" 20230125", "2023-01-25", "MSG : fncGeDtFrmt 2023-01-25"},
      {"123", "-1-23", "MSG : fncGeDtFrmt -1-23"},
      {"123456789", "12345-67-89", "MSG : fncGeDtFrmt 12345-67-89"},
      {"00000000", "--", "MSG : fncGeDtFrmt --"},
      {"2023-01-25", "2023-01-25", "MSG : fncGeDtFrmt 2023-01-25"},
      {"abc", "abc", "MSG : fncGeDtFrmt abc"},
      {"", "", "MSG : fncGeDtFrmt "},
      {std::string(29, '9'), "", "MSG : Function fncGeDtFrmt 6\tOverflow"},
  };
  for (const auto& c : cases) {
    Start("");
    EXPECT_EQ(fncGeDtFrmt(rc, c.in), c.out) << c.in;
    EXPECT_EQ(Log(), Lines{c.logged}) << c.in;
  }
}

// ---- The details step --------------------------------------------------------------

using NortonDetails = ProductTest;

TEST_F(NortonDetails, ReportsTheDatesFromEitherView) {
  for (const char* list : {kUninstall32, kUninstall64}) {
    m.File(kFile, "CurDefs=20230124.5\r\nLastDefs=20230125.4\r\n");
    Start(Entry(list, "{S}", "Symantec Endpoint Protection") + Value(kSepApps, "SEPAppDataDir", "C:\\\\SEP"));
    rc.Norton.ScanEngine = "20.1";
    NortonServer_Details(rc);
    EXPECT_EQ(rc.AntivirusElements, Element("NORTON", "01/25/2023", "01/24/2023", "01/25/2023", "01/24/2023",
                                            "20.1", "0"))
        << list;
    EXPECT_TRUE(rc.ProductFound) << list;
    EXPECT_EQ(rc.StatusDescription, "") << list;
    EXPECT_EQ(rc.Norton.CurDefsRevision, "4") << list;
  }
}

TEST_F(NortonDetails, NotInstalled) {
  // 64-bit: both views searched.
  Start(Entry(kUninstall64, "{A}", "Contoso PDF Reader"));
  NortonServer_Details(rc);
  Lines log = Log();
  EXPECT_TRUE(Has(log, "Executing Function CheckForSymenticProductsfor64OS.."));
  EXPECT_EQ(log.back(), "MSG : No Symentic Product installed.");
  EXPECT_EQ(rc.AntivirusElements, "");

  // 32-bit: the 64-bit search, whose tables would take this name, never runs.
  m.System("Bits=32\r\n");
  Start(Entry(kUninstall64, "{S}", "Acme Symantec.cloud - Endpoint Protection Agent"));
  NortonServer_Details(rc);
  log = Log();
  EXPECT_FALSE(Has(log, "Executing Function CheckForSymenticProductsfor64OS.."));
  EXPECT_TRUE(Has(log, "MSG : OS is 32Bit.."));
  EXPECT_EQ(log.back(), "MSG : No Symentic Product installed.");
  EXPECT_FALSE(rc.ProductFound);
}

TEST_F(NortonDetails, NothingReadAddsTheFailureSentenceInsteadOfARecord) {
  const struct {
    const char* what;
    const char* content;  // nullptr: no definition file
    bool productFound;
    const char* status;
  } cases[] = {
      {"no definition file", nullptr, false, "Earlier.Norton : DefInfo.dat Not Found.Failed to read Norton AV Definition."},
      {"bad date", "CurDefs=20231301.1\r\n", true, "Norton : Type mismatch.Failed to read Norton AV Definition."},
      {"empty first line", "\r\nCurDefs=20230101.1\r\n", false, "Failed to read Norton AV Definition."},
  };
  for (const auto& c : cases) {
    const std::string root = std::string("C:\\") + (c.content ? "Has" : "None") + std::to_string(&c - cases);
    if (c.content) m.File(root + "\\Data\\Definitions\\VirusDefs\\Definfo.dat", c.content);
    Start(Entry(kUninstall32, "{S}", "Norton AntiVirus") + Value(kSepApps, "SEPAppDataDir", RegPath(root)));
    rc.StatusDescription = "Earlier.";
    NortonServer_Details(rc);
    EXPECT_EQ(rc.AntivirusElements, "") << c.what;
    EXPECT_EQ(rc.ProductFound, c.productFound) << c.what;
    EXPECT_EQ(rc.StatusDescription, c.status) << c.what;
  }
}

}  // namespace
