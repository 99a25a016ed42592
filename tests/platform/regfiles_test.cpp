#include "platform/regfiles.h"
#include "products/uninstall_rows.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim_machine_fixture.h"

namespace {

using simtest::MachineFiles;
using simtest::SystemText;
using Lines = std::vector<std::string>;

constexpr const char* kValuesKey = "SOFTWARE\\Test";
// One registry view, so that a plain path names the key as written.
constexpr const char* kBits32 = "[System]\r\nBits=32\r\n";

const char* const kValuesReg =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
    "\"Text\"=\"hello\"\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
    "\"Num\"=dword:0000002a\r\n"
    "\"Embedded\"=hex(1):61,00,62,00,00,00,63,00,00,00\r\n"
    "\"Folder\"=\"C:\\\\Data\"\r\n"
    "\"FolderSlash\"=\"C:\\\\Data\\\\\"\r\n"
    "\"FolderPadded\"=\"  C:\\\\Data  \"\r\n"
    "\"Ffff\"=dword:0000ffff\r\n"
    "\"Bytes\"=hex:31,0a,32\r\n"
    "\"Zero\"=\"0\"\r\n"
    "\r\n";

class RegValues : public simtest::SimMachineTest {
 protected:
  void SetUp() override {
    Load({kValuesReg, kBits32, {}});
    ASSERT_EQ(os::RegOpenKeyEx(kValuesKey, os::kKeyRead, &key), 0);
  }
  void TearDown() override {
    key.Close();
    SimMachineTest::TearDown();
  }
  os::RegKey key;
};

TEST_F(RegValues, ReadRegStringReadsOnlyPlainStrings) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"Text", "hello"}, {"Expand", ""},  {"Multi", ""},
      {"Num", ""},       {"Missing", ""}, {"Embedded", "ab"},  // cut at the first NUL
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRegString(key, c.name), c.expected) << c.name;
}

TEST_F(RegValues, GetRegValueByTypeAndForm) {
  const Lines entry = {"MSG : Executing Function GetRegValue "};
  const struct {
    const char* name;
    uint32_t type;
    GetRegValueForm form;
    const char* expected;
    Lines log;
  } cases[] = {
      {"Num", 4, GetRegValueForm::kB, "42", {}},
      {"Missing", 4, GetRegValueForm::kB, "0", {}},
      {"Missing", 1, GetRegValueForm::kB, "", {}},
      {"Missing", 1, GetRegValueForm::kA, "", entry},
      {"Text", 1, GetRegValueForm::kA, "hello", entry},
      // The type the registry reports is not checked for text reads.
      {"Expand", 1, GetRegValueForm::kB, "%A%", {}},
      {"Embedded", 1, GetRegValueForm::kB, "ab", {}},
      {"Text", 3, GetRegValueForm::kB, "", {}},
      // Numbers and bytes are not text: reported, never copied as raw bytes.
      {"Ffff", 1, GetRegValueForm::kB, "", {"ERR : functionGetRegValue - Could not read Ffff. ErrDesc: the value is stored as REG_DWORD"}},
      {"Bytes", 1, GetRegValueForm::kB, "", {"ERR : functionGetRegValue - Could not read Bytes. ErrDesc: the value is stored as REG_BINARY"}},
      {"Ffff", 1, GetRegValueForm::kA, "", {entry[0], "ERR : GetRegValue - Could not read Ffff"}},
      // Nor is a text a number.
      {"Zero", 4, GetRegValueForm::kB, "", {"ERR : functionGetRegValue - Could not read Zero. ErrDesc: the value is stored as REG_SZ"}},
  };
  for (const auto& c : cases) {
    Load({kValuesReg, kBits32, {}});
    key.Close();
    ASSERT_EQ(os::RegOpenKeyEx(kValuesKey, os::kKeyRead, &key), 0);
    EXPECT_EQ(GetRegValue(rc, key, c.name, c.type, c.form), c.expected) << c.name << " " << c.type;
    EXPECT_EQ(LogLines(), c.log) << c.name << " " << c.type;
  }
}

TEST_F(RegValues, RegKeyValueEndsFoldersWithBackslash) {
  const struct {
    const char* keyPath;
    const char* name;
    const char* expected;
  } cases[] = {
      {kValuesKey, "Folder", "C:\\Data\\"},
      {kValuesKey, "FolderSlash", "C:\\Data\\"},
      {kValuesKey, "FolderPadded", "C:\\Data\\"},
      {kValuesKey, "Missing", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(fncRegKeyValue(rc, c.keyPath, c.name), c.expected) << c.name;
  EXPECT_EQ(LogLines(), Lines{});

  EXPECT_EQ(fncRegKeyValue(rc, "SOFTWARE\\Nowhere", "Folder"), "");
  EXPECT_EQ(LogLines(), Lines{"ERR : fncRegKeyValue. Could not open registry key SOFTWARE\\Nowhere. "
                              "ErrDesc: 2-" + SystemText(2)});
}

TEST_F(RegValues, GetRegValuePublicLogsWhatItRead) {
  EXPECT_EQ(fncGetRegValuePublic(rc, kValuesKey, "Text"), "hello");
  EXPECT_EQ(fncGetRegValuePublic(rc, "SOFTWARE\\Nowhere", "Text"), "");
  EXPECT_EQ(LogLines(), (Lines{"MSG : Checking for Registry Key SOFTWARE\\Test::Text",
                               "MSG : Registry value :: hello",
                               "MSG : Checking for Registry Key SOFTWARE\\Nowhere::Text",
                               "ERR : Unable to open Registry key. ErrorCode :2-" + SystemText(2)}));
}

// ---- Program folders -------------------------------------------------------------

class ProgramFolders : public simtest::SimMachineTest {};

TEST_F(ProgramFolders, ReadsThe32BitViewAndAppendsBackslash) {
  // Different values in the two views show which one is read.
  Load({"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
        "\"CommonFilesDir\"=\"C:\\\\Program Files\\\\Common Files\"\r\n"
        "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion]\r\n"
        "\"CommonFilesDir\"=\"C:\\\\Program Files (x86)\\\\Common Files\"\r\n"
        "\"ProgramFilesDir\"=\" C:\\\\Program Files (x86)\\\\ \"\r\n\r\n",
        "[System]\r\nBits=64\r\n",
        {}});
  EXPECT_EQ(fncPrgFileDir(rc), "C:\\Program Files (x86)\\Common Files\\");
  EXPECT_EQ(fncPrgFileDirforCA(rc), "C:\\Program Files (x86)\\");
}

TEST_F(ProgramFolders, EmptyValueBecomesBackslashAndMissingKeyIsLogged) {
  Load({"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
        "\"CommonFilesDir\"=\"\"\r\n\r\n",
        "[System]\r\nBits=32\r\n",
        {}});
  EXPECT_EQ(fncPrgFileDir(rc), "\\");
  EXPECT_EQ(fncPrgFileDirforCA(rc), "\\");  // missing value: empty text, same rule

  Load({"", "[System]\r\nBits=32\r\n", {}});
  EXPECT_EQ(fncPrgFileDir(rc), "");
  EXPECT_EQ(fncPrgFileDirforCA(rc), "");
  const std::string tail = "SOFTWARE\\Microsoft\\windows\\CurrentVersion. ErrDesc: 2-" + SystemText(2);
  EXPECT_EQ(LogLines(),
            (Lines{"ERR : function fncPrgFileDir - Could not open registry key " + tail,
                   " ERR : function fncPrgFileDirforCA - Could not open registry key " + tail}));
}

// ---- Paths -----------------------------------------------------------------------

class PathHelpers : public simtest::SimMachineTest {
 protected:
  void SetUp() override {
    Load({"",
          "[Environment]\r\nALLUSERSPROFILE=C:\\ProgramData\r\nTOOLS=C:\\Tools\r\n",
          {{"Tools\\run.exe", "x"}}});
  }
};

TEST_F(PathHelpers, ExpandEnvPathReplacesOnlyALeadingReference) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%ALLUSERSPROFILE%", "C:\\ProgramData"},
      {"  %TOOLS%\\run.exe  ", "C:\\Tools\\run.exe"},
      {"%tools%\\a;%tools%\\b", "C:\\Tools\\a;C:\\Tools\\b"},  // every occurrence
      {"%UNKNOWN%\\x", "\\x"},
      {"  C:\\plain %TOOLS% ", "C:\\plain %TOOLS%"},  // no leading "%": trimmed only
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvPath(rc, c.text), c.expected) << c.text;
  EXPECT_EQ(LogLines(), Lines{});
}

TEST_F(PathHelpers, ExpandEnvPathOfNothingIsAnError) {
  EXPECT_EQ(ExpandEnvPath(rc, "   "), "");
  const Lines lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("ERR : 9Subscript out of range", 0), 0u) << lines[0];
}

TEST_F(PathHelpers, SpecialFolderAndShortPath) {
  EXPECT_EQ(GetSpecialfolder(rc, 35), "C:\\ProgramData");
  EXPECT_EQ(GetSpecialfolder(rc, 4242), "");

  EXPECT_EQ(GetShortpath(rc, "C:\\Tools\\run.exe"), "C:\\Tools\\run.exe");
  EXPECT_EQ(rc.ShortPathResult, "True");
  EXPECT_EQ(GetShortpath(rc, "C:\\Tools\\missing.exe"), "C:\\Tools\\missing.exe");
  EXPECT_EQ(rc.ShortPathResult, "False");
  EXPECT_EQ(GetShortpath(rc, "C:\\Tools"), "C:\\Tools");
  EXPECT_EQ(rc.ShortPathResult, "True");
  EXPECT_EQ(LogLines(), Lines{});
}

// ---- Files -----------------------------------------------------------------------

class FileHelpers : public simtest::SimMachineTest {};

TEST_F(FileHelpers, DeleteFileWaitsPerFormAndReportsMissingFiles) {
  const struct {
    DeleteForm form;
    int64_t waitMs;
  } cases[] = {{DeleteForm::kA, 2000}, {DeleteForm::kB, 5000}};
  for (const auto& c : cases) {
    Load({"", "", {{"Work\\old.dat", "data"}}});
    EXPECT_TRUE(fncDeleteFile(rc, "C:\\Work\\old.dat", c.form));
    EXPECT_FALSE(os::FileExists("C:\\Work\\old.dat"));
    EXPECT_EQ(ElapsedMs(), c.waitMs);

    EXPECT_FALSE(fncDeleteFile(rc, "C:\\Work\\old.dat", c.form));
    EXPECT_EQ(LogLines(), Lines{"ERR : fncDeleteFile C:\\Work\\old.dat 53 File not found"});
  }
}

TEST_F(FileHelpers, CopyFileMovesTheDataFile) {
  Load({"", "", {{"Work\\rec.txt", "new record"}, {"Status\\rec.txt", "old"}}});
  rc.DataFilePath = "C:\\Work\\rec.txt";
  EXPECT_FALSE(fncCopyFile(rc, ""));
  EXPECT_TRUE(os::FileExists(rc.DataFilePath));

  EXPECT_TRUE(fncCopyFile(rc, "C:\\Status\\"));
  std::string moved;
  ASSERT_EQ(os::ReadWholeFile("C:\\Status\\rec.txt", &moved), 0);
  EXPECT_EQ(moved, "new record");
  EXPECT_FALSE(os::FileExists(rc.DataFilePath));

  // The source is gone now: nothing to move, nothing logged.
  EXPECT_FALSE(fncCopyFile(rc, "C:\\Status\\"));
  EXPECT_EQ(LogLines(), Lines{});
}

TEST_F(FileHelpers, CopyFileIntoMissingFolderFailsAndKeepsTheSource) {
  Load({"", "", {{"Work\\rec.txt", "record"}}});
  rc.DataFilePath = "C:\\Work\\rec.txt";
  EXPECT_FALSE(fncCopyFile(rc, "C:\\NoSuchFolder\\"));
  EXPECT_TRUE(os::FileExists(rc.DataFilePath));
  // The cause as the system gives it, with the file it concerns.
  EXPECT_EQ(LogLines(), Lines{"ERR : Function fncCopyFile. Could not move C:\\NoSuchFolder\\rec.txt. ErrDesc: "
                              "3-The system cannot find the path specified."});
}

TEST_F(FileHelpers, FileSizeText) {
  const struct {
    size_t bytes;
    const char* expected;
  } cases[] = {{0, "0"}, {1, "0.001 KB"}, {1024, "1.000 KB"}, {1536, "1.500 KB"}, {3 << 20, "3072.000 KB"}};
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& c : cases) files.push_back({"f" + std::to_string(c.bytes), std::string(c.bytes, 'z')});
  Load({"", "", files});
  for (const auto& c : cases)
    EXPECT_EQ(fncGetFileSize(rc, "C:\\f" + std::to_string(c.bytes)), c.expected) << c.bytes;
  EXPECT_EQ(LogLines(), Lines{});

  EXPECT_EQ(fncGetFileSize(rc, "C:\\missing.bin"), "");
  EXPECT_EQ(LogLines(), Lines{"ERR : fncGetFileSize 53 File not found"});
}

// ---- Error texts -----------------------------------------------------------------

class FormatMessageText : public simtest::SimMachineTest {
 protected:
  void SetUp() override { Load({"", "", {}}); }
};

TEST_F(FormatMessageText, SystemAndWininetCodes) {
  for (uint32_t code : {2u, 5u, 1060u}) {
    ASSERT_NE(SystemText(code), "") << code;
    EXPECT_EQ(fncFormatMessage(rc, code), std::to_string(code) + "-" + SystemText(code));
  }
  ASSERT_NE(SystemText(12029, true), "");
  EXPECT_EQ(fncFormatMessage(rc, 12029), "12029-" + SystemText(12029, true));
  EXPECT_EQ(LogLines(), Lines{});
}

TEST_F(FormatMessageText, CodesWithoutText) {
  // A system code without text is an error; a WinINet one is just empty.
  std::string unused;
  ASSERT_FALSE(os::FormatMessage(11999, false, &unused));
  ASSERT_FALSE(os::FormatMessage(12999, true, &unused));
  EXPECT_EQ(fncFormatMessage(rc, 11999), "");
  EXPECT_EQ(fncFormatMessage(rc, 12999), "");
  EXPECT_EQ(LogLines(),
            Lines{"ERR : Function - fncFormatMessage. ErrDesc : 5 Invalid procedure call or argument"});
}

// ---- Subkey walks ------------------------------------------------------------------

std::string UninstallEntry(const std::string& subkey, const std::string& values,
                           const std::string& root = kUninstallKey, const std::string& deny = "") {
  return "[HKEY_LOCAL_MACHINE\\" + root + "\\" + subkey + "]\r\n" + deny + values + "\r\n";
}

std::string DisplayName(const std::string& name) { return "\"DisplayName\"=\"" + name + "\"\r\n"; }

class SubkeyWalk : public simtest::SimMachineTest {};

TEST_F(SubkeyWalk, VisitsInOrderAndStopsAtUnopenableSubkey) {
  Load({UninstallEntry("b", DisplayName("B")) + UninstallEntry("A", DisplayName("A")) +
            UninstallEntry("c", DisplayName("C"), kUninstallKey, ";sim:deny=KEY_ALL_ACCESS\r\n") +
            UninstallEntry("d", DisplayName("D")),
        kBits32, {}});
  auto namesSeen = [&](uint32_t access, size_t stopAfter) {
    std::vector<std::string> seen;
    long err = WalkSubkeys(kUninstallKey, access,
                           [&](const os::RegKey& sub, const std::string& name, const std::string& path,
                               const os::RegKey&) {
                             seen.push_back(name + "|" + path.substr(path.rfind('\\') + 1) + "|" +
                                            ReadRegString(sub, "DisplayName"));
                             return seen.size() < stopAfter;
                           });
    EXPECT_EQ(err, 0);
    return seen;
  };
  EXPECT_EQ(namesSeen(os::kKeyRead, 99), (Lines{"A|A|A", "b|b|B", "c|c|C", "d|d|D"}));
  EXPECT_EQ(namesSeen(os::kKeyAllAccess, 99), (Lines{"A|A|A", "b|b|B"}));
  EXPECT_EQ(namesSeen(os::kKeyRead, 2), (Lines{"A|A|A", "b|b|B"}));

  const auto neverCalled = [](const os::RegKey&, const std::string&, const std::string&,
                              const os::RegKey&) {
    ADD_FAILURE();
    return true;
  };
  EXPECT_EQ(WalkSubkeys("SOFTWARE\\Nowhere", os::kKeyRead, neverCalled), 2);
}

// ---- Uninstall table ---------------------------------------------------------------

struct UninstallCase {
  const char* label;
  std::string registry;
  std::string machineIni;
  std::string keyPath;
  std::string product;
  bool expected;
  Lines log;  // the whole log
  std::function<void(const RunContext&)> check;
};

class UninstallTable : public simtest::SimMachineTest {};

TEST_F(UninstallTable, RowsOfTheTable) {
  Load({"", "", {}});  // the message texts below come from a loaded machine
  const std::string u = kUninstallKey;
  const std::string bits32 = "[System]\r\nBits=32\r\n";
  const std::string avira = "\"InstallLocation\"=\"\\\"C:\\\\Program Files\\\\Avira\\\"\"\r\n";
  const std::vector<std::pair<std::string, std::string>> files = {{"Program Files\\Avira\\av.exe", "x"},
                                                                  {"ProgramData\\x", "x"}};
  const UninstallCase cases[] = {
      {"BluePoint trimmed", UninstallEntry("X", DisplayName("  BluePoint Security 2.1 ")), bits32, u,
       "BluePoint", true, {"MSG : 'BluePoint Security 2.1' is installed."}, nullptr},
      {"BullGuard third variant", UninstallEntry("X", DisplayName("bullguard premium protection")),
       bits32, u, "BullGuard", true, {"MSG : 'bullguard premium protection' is installed."}, nullptr},
      {"BullGuard other product", UninstallEntry("X", DisplayName("BullGuard Backup")), bits32, u,
       "BullGuard", false, {}, nullptr},
      {"PCMatic", UninstallEntry("A", DisplayName("Other")) + UninstallEntry("B", DisplayName("PC Matic 3")),
       bits32, u, "PCMatic", true, {"MSG : 'PC Matic 3' is installed."}, nullptr},
      {"product name is case-sensitive", UninstallEntry("X", DisplayName("PC Matic")), bits32, u,
       "pcmatic", false, {}, nullptr},
      {"unknown product walks everything",
       UninstallEntry("A", DisplayName("PC Matic")) + UninstallEntry("B", DisplayName("BluePoint Security")),
       bits32, u, "Norton", false, {}, nullptr},
      {"stops at a subkey it cannot open",
       UninstallEntry("A", DisplayName("x"), u, ";sim:deny=KEY_ALL_ACCESS\r\n") +
           UninstallEntry("B", DisplayName("PC Matic")),
       bits32, u, "PCMatic", false, {}, nullptr},
      {"Avira, name upper-cased", UninstallEntry("Avira", DisplayName("Avira Free Antivirus") + avira),
       bits32, u, "avira", true,
       {"MSG : 'Avira Free Antivirus' is installed.",
        "MSG : Avira installation path is C:\\Program Files\\Avira",
        "MSG : Avira Installation short path is : C:\\Program Files\\Avira\\"},
       [](const RunContext& r) { EXPECT_EQ(r.AviraFolder, "C:\\Program Files\\Avira\\"); }},
      {"Avira Antivirus Pro under its own subkey",
       UninstallEntry("Avira AntiVir Desktop", DisplayName("Antivirus Pro") + avira), bits32, u, "AVIRA",
       true,
       {"MSG : 'Antivirus Pro' is installed.", "MSG : Avira installation path is C:\\Program Files\\Avira",
        "MSG : Avira Installation short path is : C:\\Program Files\\Avira\\"},
       nullptr},
      {"Antivirus Pro under another subkey", UninstallEntry("Other", DisplayName("Antivirus Pro") + avira),
       bits32, u, "AVIRA", false, {}, nullptr},
      {"Avira without location stops the walk",
       UninstallEntry("A", DisplayName("Avira Connect")) +
           UninstallEntry("B", DisplayName("Avira Antivirus") + avira),
       bits32, u, "AVIRA", false,
       {"MSG : 'Avira Connect' is installed.", "MSG : ValueName \"" + u + "\\A\\InstallLocation\" not found."},
       [](const RunContext& r) { EXPECT_EQ(r.AviraFolder, ""); }},
      {"Kaspersky", UninstallEntry("K", DisplayName("Kaspersky Small Office Security 3")),
       bits32 + "[Environment]\r\nALLUSERSPROFILE=C:\\ProgramData\r\n", u, "Kaspersky", true,
       {"MSG : 'Kaspersky Small Office Security 3' is installed.",
        "MSG : Kaspersky definition short path is : C:\\ProgramData\\Kaspersky Lab\\KSOS13\\Data\\u0607g.xml"},
       [](const RunContext& r) {
         EXPECT_EQ(r.KasperskyDefPath, "C:\\ProgramData\\Kaspersky Lab\\KSOS13\\Data\\u0607g.xml");
       }},
      {"Kaspersky, data folder missing", UninstallEntry("K", DisplayName("Kaspersky Small Office Security 3")),
       bits32 + "[Environment]\r\nALLUSERSPROFILE=C:\\Gone\r\n", u, "Kaspersky", true,
       {"MSG : 'Kaspersky Small Office Security 3' is installed.",
        "MSG : Kaspersky definition short path is : "},
       [](const RunContext& r) { EXPECT_EQ(r.KasperskyDefPath, ""); }},
      {"Kaspersky without the variable goes on",
       UninstallEntry("K1", DisplayName("Kaspersky Small Office Security 3")) +
           UninstallEntry("K2", DisplayName("Kaspersky Small Office Security 3")),
       bits32 + "[Environment]\r\nALLUSERSPROFILE=\r\n", u, "Kaspersky", false,
       {"MSG : 'Kaspersky Small Office Security 3' is installed.",
        "MSG : 'Kaspersky Small Office Security 3' is installed."},
       nullptr},
      {"Webroot",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WRData]\r\n\"HPL\"=\"9.0.1\"\r\n\r\n" +
           UninstallEntry("A", "\"SKU\"=\"Home\"\r\n", "SOFTWARE\\WRData") +
           UninstallEntry("B",
                          "\"SKU\"=\"Webroot SecureAnywhere Endpoint Protection\"\r\n"
                          "\"version\"=\"9.0.20.31\"\r\n\"InstanceMID\"=\"IM\"\r\n\"DeviceMID\"=\"DM\"\r\n",
                          "SOFTWARE\\WRData"),
       bits32, "SOFTWARE\\WRData", "Webroot", true,
       {"MSG : 'Webroot SecureAnywhere Endpoint Protection' is installed.",
        "-------------------------------------", "MSG : Webroot Version >>9.0.20.31", "MSG : HPL >>9.0.1",
        "MSG : InstanceMID >>IM", "MSG : DeviceMID >>DM", "MSG : InstanceMID:::DeviceMID >>IM:::DM",
        "-------------------------------------"},
       [](const RunContext& r) {
         EXPECT_EQ(r.WebrootProductName, "Webroot SecureAnywhere Endpoint Protection");
         EXPECT_EQ(r.WebrootDefinition, "9.0.20.31");
         EXPECT_EQ(r.WebrootEngine, "9.0.1");
         EXPECT_EQ(r.WebrootLastDefinition, "IM:::DM");
       }},
      {"parent denied", UninstallEntry("X", DisplayName("PC Matic"), u, "") +
                            "[HKEY_LOCAL_MACHINE\\" + u + "]\r\n;sim:deny=KEY_ALL_ACCESS\r\n\r\n",
       bits32, u, "PCMatic", false, {"ERR : 5. Does not have sufficient privilege for " + u}, nullptr},
      {"parent missing", "", bits32, "SOFTWARE\\WRData", "Webroot", false,
       {"ERR : Could not open registry key. ErrDesc: 2-" + SystemText(2) + " for SOFTWARE\\WRData"}, nullptr},
  };
  for (const UninstallCase& c : cases) {
    SCOPED_TRACE(c.label);
    Load({c.registry, c.machineIni, files});
    EXPECT_EQ(ChkUnInstallRegistry(rc, c.keyPath, os::kKeyAllAccess, c.product), c.expected);
    EXPECT_EQ(LogLines(), c.log);
    if (c.check) c.check(rc);
  }
}

// Each product check: its log line, its key and product row, and the
// fallback to the 64-bit view.
TEST_F(UninstallTable, ProductChecksTryBothViews) {
  const struct {
    bool (*check)(RunContext&);
    const char* word;
    std::string key;
    std::string values;
  } cases[] = {
      {ChkKasperskyInstalled, "Kaspersky", kUninstallKey, DisplayName("Kaspersky Small Office Security 3")},
      {ChkAviraInstalled, "Avira", kUninstallKey,
       DisplayName("Avira") + "\"InstallLocation\"=\"C:\\\\Avira\"\r\n"},
      {ChkBluePointInstalled, "BluePoint", kUninstallKey, DisplayName("BluePoint Security")},
      {ChkWebRootInstalled, "WebRoot", "SOFTWARE\\WRData",
       "\"SKU\"=\"Webroot SecureAnywhere Endpoint Protection\"\r\n"},
      {ChkPCMaticInstalled, "PCMatic", kUninstallKey, DisplayName("PC Matic")},
      {ChkBullGuardInstalled, "BullGuard", kUninstallKey, DisplayName("BullGuard Antivirus")},
  };
  const std::string bits64 = "[System]\r\nBits=64\r\n[Environment]\r\nALLUSERSPROFILE=C:\\ProgramData\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    const std::string searching =
        std::string("MSG : Searching for ") + c.word + " Product in registry key :: " + c.key;
    const std::string view32 = "SOFTWARE\\Wow6432Node" + c.key.substr(8);

    // Only in the 64-bit view: found by the second call.
    Load({UninstallEntry("P", c.values, c.key), bits64, {}});
    EXPECT_TRUE(c.check(rc));
    Lines log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], searching);
    EXPECT_EQ(log[1], "ERR : Could not open registry key. ErrDesc: 2-" + SystemText(2) + " for " + c.key);

    // Only in the 32-bit view: the first call finds it and the second never runs.
    Load({UninstallEntry("P", c.values, view32), bits64, {}});
    EXPECT_TRUE(c.check(rc));
    log = LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], searching);
    EXPECT_NE(log[1].rfind("ERR", 0), 0u) << log[1];

    // A non-administrative run: both views refuse KEY_ALL_ACCESS.
    const std::string deny = ";sim:deny=KEY_ALL_ACCESS\r\n";
    Load({"[HKEY_LOCAL_MACHINE\\" + c.key + "]\r\n" + deny + "\r\n[HKEY_LOCAL_MACHINE\\" + view32 + "]\r\n" +
              deny + "\r\n" + UninstallEntry("P", c.values, c.key),
          bits64, {}});
    EXPECT_FALSE(c.check(rc));
    const std::string denied = "ERR : 5. Does not have sufficient privilege for " + c.key;
    EXPECT_EQ(LogLines(), (Lines{searching, denied, denied}));
  }
}

// ---- Comodo search -----------------------------------------------------------------

class ComodoSearch : public simtest::SimMachineTest {};

TEST_F(ComodoSearch, BothPassesAlwaysRun) {
  Load({"", "", {}});  // the message texts below come from a loaded machine
  const std::string comodo =
      DisplayName("COMODO Internet Security Premium") +
      "\"DisplayIcon\"=\"C:\\\\Program Files\\\\COMODO\\\\COMODO Internet Security\\\\cfp.exe\"\r\n";
  const std::string folder = "C:\\Program Files\\COMODO\\COMODO Internet Security\\scanners\\";
  const std::string wow = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string u = kUninstallKey;
  const Lines head = {"MSG : In FN_existDisplayName", "MSG : Searching DisplayName in registry : Comodo"};
  const Lines found = {"MSG : Found Comodo Product in registry key :: " + u + "\\{C}",
                       "MSG :  COMODO Internet Security Premium is installed.",
                       "MSG : COMODO Internet Security Premium is installed at " + folder};
  const Lines notFound = {"MSG : DisplayName 'Comodo' not found in registry"};
  const Lines noView = {"ERR : Could not open registry key. ErrDesc: 2-" + SystemText(2) + " for " + u};
  auto join = [](std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const struct {
    const char* label;
    std::string registry;
    std::string machineIni;
    bool expected;
    Lines log;
  } cases[] = {
      {"64-bit view only", UninstallEntry("{C}", comodo), "[System]\r\nBits=64\r\n", true,
       join({head, noView, notFound, found})},
      {"32-bit view only", UninstallEntry("{C}", comodo, wow), "[System]\r\nBits=64\r\n", true,
       join({head, found, noView, notFound})},
      {"32-bit machine: found twice", UninstallEntry("{C}", comodo), "[System]\r\nBits=32\r\n", true,
       join({head, found, found})},
      {"name must start with COMODO",
       UninstallEntry("{C}", DisplayName("My COMODO Tools")) + UninstallEntry("{D}", DisplayName("Comod")),
       "[System]\r\nBits=32\r\n", false, join({head, notFound, notFound})},
      {"list unreadable",
       "[HKEY_LOCAL_MACHINE\\" + u + "]\r\n;sim:deny=KEY_READ\r\n\r\n" + UninstallEntry("{C}", comodo),
       "[System]\r\nBits=32\r\n", false,
       join({head, {"ERR : 5. Does not have sufficient privilege for " + u}, notFound,
             {"ERR : 5. Does not have sufficient privilege for " + u}, notFound})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Load({c.registry, c.machineIni, {}});
    EXPECT_EQ(FN_existDisplayName(rc, "Comodo"), c.expected);
    EXPECT_EQ(LogLines(), c.log);
    EXPECT_EQ(rc.ComodoProductName, c.expected ? "COMODO" : "");
    EXPECT_EQ(rc.ComodoScannerFolder, c.expected ? folder : "");
  }
}

}  // namespace
