#include <gtest/gtest.h>

#include <filesystem>

#include "products/file_readers.h"
#include "products/products.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

std::string Key(const std::string& key, const std::string& values = "") {
  return "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n" + values + "\r\n";
}
std::string Sz(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=\"" + value + "\"\r\n";
}

// ---- Kaspersky ------------------------------------------------------------------

constexpr const char* kKesData = "C:\\ProgramData\\Kaspersky Lab\\KES10SP2\\";
const std::string kKesKey = "SOFTWARE\\Wow6432Node\\KasperskyLab\\protected\\KES10SP2\\environment";

using Kaspersky = ProductTest;

TEST_F(Kaspersky, DataFolderFilesAndDateLines) {
  const struct {
    const char* name;
    const char* file;
    std::string content;
    const char* definition;
    const char* sentence;
  } cases[] = {
      {"u0607g: the date of UpdateDate", "data\\u0607g.xml",
       "<?xml version=\"1.0\"?>\r\n<UpdateFiles UpdateDate=\"16052024 0842\" Date=\"x\">\r\n", "16052024", ""},
      {"u1313g: the Date line", "data\\u1313g.xml", "<Update>\r\n<Info Date=\"01062024 1200\"/>\r\n", "01062024",
       ""},
      {"no date line", "data\\u0607g.xml", "<UpdateFiles/>\r\n", "",
       "Failed to get the virus definition for Kaspersky."},
      {"binary bytes in the date", "data\\u0607g.xml", std::string("UpdateDate=\"1605\x01\x02" "2024 0842\"\r\n"),
       "", "Failed to get the virus definition for Kaspersky."},
      {"empty file", "data\\u0607g.xml", "", "", "Failed to get the virus definition for Kaspersky."},
      {"no file", nullptr, "", "", " Kaspersky definition file not found."},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(m.folder() / "drive_c/ProgramData/Kaspersky Lab");
    if (c.file) m.File(std::string(kKesData) + c.file, c.content);
    Start(Key(kKesKey, Sz("Dataroot", "%ALLUSERSPROFILE%\\\\Kaspersky Lab\\\\KES10SP2")));
    fncKaspersky(rc);
    EXPECT_EQ(rc.KasperskyDefPath, kKesData) << c.name;
    EXPECT_EQ(rc.KasperskyDefinition, c.definition) << c.name;
    EXPECT_EQ(rc.StatusDescription, c.sentence) << c.name;
    EXPECT_EQ(rc.AntivirusElements, *c.definition ? Element("Kaspersky", "", "", c.definition, "", "", "0") : "")
        << c.name;
    EXPECT_FALSE(m.Exists(std::string(SimMachine::kAppFolder) + "\\u0607g.txt")) << c.name;
  }
}

TEST_F(Kaspersky, BothFilesInTheFolderReadsU0607g) {
  m.File(std::string(kKesData) + "data\\u0607g.xml", "UpdateDate=\"16052024 0842\"\r\nDate=\"99999999 0000\"\r\n");
  m.File(std::string(kKesData) + "data\\u1313g.xml", "Date=\"01062024 1200\"\r\n");
  Start(Key(kKesKey, Sz("Dataroot", "C:\\\\ProgramData\\\\Kaspersky Lab\\\\KES10SP2\\\\")));
  fncKaspersky(rc);
  EXPECT_EQ(rc.KasperskyFileName, "u0607g");
  EXPECT_EQ(rc.KasperskyDefinition, "16052024");
}

TEST_F(Kaspersky, UninstallEntryLeadsToTheFileUnderAllUsersProfile) {
  const struct {
    const char* file;
    const char* baseName;
  } cases[] = {
      {"C:\\ProgramData\\Kaspersky Lab\\KES10\\Data\\u0607g.xml", "u0607g"},
      {"C:\\ProgramData\\Kaspersky Lab\\AVP16.0.1\\Data\\u1313g.xml", "u1313g"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(m.folder() / "drive_c/ProgramData/Kaspersky Lab");
    m.File(c.file, "<x UpdateDate=\"02022024 0101\" Date=\"02022024 0101\"/>\r\n");
    Start(Entry(kUninstall64, "{K}", "Kaspersky Endpoint Security 10"));
    fncKaspersky(rc);
    EXPECT_EQ(rc.KasperskyDefPath, c.file);
    EXPECT_EQ(rc.KasperskyFileName, c.baseName);
    EXPECT_EQ(rc.AntivirusElements, Element("Kaspersky", "", "", "02022024", "", "", "0"));
  }
}

TEST_F(Kaspersky, NotInstalled) {
  Start("");
  fncKaspersky(rc);
  EXPECT_EQ(Log().back(), "MSG : Kaspersky not installed");
}

// ---- eScan and Immunet -----------------------------------------------------------

using EScan = ProductTest;

TEST_F(EScan, VersionLine) {
  const struct {
    std::string content;
    std::string element;
    const char* sentence;
  } cases[] = {
      {"[Update]\r\nVersion: 7.0.1.5\r\nVersion: 9\r\n", Element("EScan", "7015", "", "7015", "", "", "0"), ""},
      {"nothing here\r\n", "", "Failed to read EScan AV Definition."},
  };
  m.MachineIni("[Environment]\r\nSystemDrive=C:\r\n");
  for (const auto& c : cases) {
    m.File("C:\\ProgramData\\MicroWorld\\eScanBD\\plugins\\update.txt", c.content);
    Start(Entry(kUninstall32, "eScan", "eScan Internet Security for Windows"));
    EScanServer_Details(rc);
    EXPECT_EQ(rc.AntivirusElements, c.element);
    EXPECT_EQ(rc.StatusDescription, c.sentence);
  }
}

using Immunet = ProductTest;

TEST_F(Immunet, DatabaseVersionLine) {
  const struct {
    std::string content;
    std::string element;
    const char* sentence;
  } cases[] = {
      {"Engine: 0.99\r\nDatabase version: 25123/Mon Apr 1 08:00:00 2024\r\n",
       Element("IMMUNET", "25123", "", "25123", "", "", "0"), ""},
      {"DATABASE VERSION: 25124\r\n", Element("IMMUNET", "25124", "", "25124", "", "", "0"), ""},
      {"", "", "Failed to read IMMUNET AV Definition."},
      {"garbage\r\n", "", "Failed to read IMMUNET AV Definition."},
  };
  for (const auto& c : cases) {
    m.File("C:\\Program Files\\Cisco\\Immunet\\clamav\\lastupd", c.content);
    Start(Key(std::string(kUninstall64).substr(19) + "\\Immunet Protect",
              Sz("DisplayName", "Immunet 7.5.0") +
                  Sz("UninstallString", "\\\"C:\\\\Program Files\\\\Cisco\\\\Immunet\\\\uninstall.exe\\\"")));
    ImmunetServer_Details(rc);
    EXPECT_EQ(rc.ImmunetPath, "C:\\Program Files\\Cisco\\Immunet\\clamav\\");
    EXPECT_EQ(rc.AntivirusElements, c.element) << c.content;
    EXPECT_EQ(rc.StatusDescription, c.sentence) << c.content;
  }
}

// ---- Avast -----------------------------------------------------------------------

using Avast = ProductTest;

TEST_F(Avast, DefinitionsIniThenSetupIni) {
  const std::string folder = "C:\\Program Files\\AVAST Software\\Avast\\";
  const struct {
    const char* name;
    const char* aswdefs;  // nullptr: no file
    const char* setup;
    const char* definition;
    const char* sentence;
  } cases[] = {
      {"aswdefs.ini", "[Definitions]\r\nLatest=24051400\r\n", nullptr, "24051400", ""},
      {"no Latest key: setup.ini is read", "[Definitions]\r\n", "[PartsLatest]\r\npart.vps=13-24051401\r\n",
       "24051401", ""},
      {"no aswdefs.ini", nullptr, "[PartsLatest]\r\npart.vps=24051402\r\n", "24051402",
       "Avast ASWDEFS.INI is missing."},
      {"neither names one", "[Definitions]\r\n", "[PartsLatest]\r\n", "",
       "Failed to get the virus definition for Avast."},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(m.folder() / "drive_c/Program Files/AVAST Software");
    if (c.aswdefs) m.File(folder + "defs\\aswdefs.ini", c.aswdefs);
    if (c.setup) m.File(folder + "Setup\\setup.ini", c.setup);
    Start(Key(std::string(kUninstall32).substr(19) + "\\Avast Antivirus",
              Sz("DisplayName", "Avast Free Antivirus") +
                  Sz("InstallLocation", "C:\\\\Program Files\\\\AVAST Software\\\\Avast")));
    fncAvast(rc);
    EXPECT_EQ(rc.AvastDefinition, c.definition) << c.name;
    EXPECT_EQ(rc.StatusDescription, c.sentence) << c.name;
    EXPECT_EQ(rc.AntivirusElements, *c.definition ? Element("Avast", "", "", c.definition, "", "", "0") : "")
        << c.name;
  }
}

// ---- BitDefender ---------------------------------------------------------------

using BitDefender = ProductTest;

TEST_F(BitDefender, HighestSignatureWinsWithItsOwnEngine) {
  const std::string scanner = "C:\\Program Files\\Common Files\\Bitdefender\\Threat Scanner\\";
  const struct {
    const char* first;
    const char* second;
  } orders[] = {{"Antivirus_A", "Antivirus_B"}, {"Antivirus_B", "Antivirus_A"}};
  for (const auto& o : orders) {
    std::filesystem::remove_all(m.folder() / "drive_c/Program Files/Common Files");
    m.File(scanner + o.first + "\\plugins\\update.txt", "Signature number: 7000\r\nVersion: 7.95\r\n");
    m.File(scanner + o.second + "\\plugins\\update.txt", "Signature number: 6999\r\nVersion: 7.99\r\n");
    Start(Key("SOFTWARE\\BitDefender\\BitDefender Threat Scanner",
              Sz("EnginesFolder", "C:\\\\Program Files\\\\Common Files\\\\Bitdefender\\\\Threat Scanner\\\\Antivirus_A\\\\")));
    fncBitDefender(rc);
    EXPECT_EQ(rc.BitDefenderPath, scanner);
    EXPECT_EQ(rc.AntivirusElements, Element("BitDefender", "7000", "", "7000", "", "7.95", "0")) << o.first;
  }
}

TEST_F(BitDefender, UpdateFileWithoutSignature) {
  m.File("C:\\Program Files\\Bitdefender\\Endpoint Security\\Threatscanner\\a\\plugins\\update.txt", "");
  Start(Key("SOFTWARE\\Bitdefender\\EndPoint Security\\{1234}\\Install",
            Sz("InstallPath", "C:\\\\Program Files\\\\Bitdefender\\\\Endpoint Security")));
  fncBitDefender(rc);
  EXPECT_EQ(rc.AntivirusElements, "");
  EXPECT_EQ(rc.StatusDescription,
            "No contents in BitDefender Update.txt.Failed to get the virus signature for BitDefender.");
}

// ---- Comodo ----------------------------------------------------------------------

using Comodo = ProductTest;

TEST_F(Comodo, NewestB00FileNamesTheDefinition) {
  const std::string folder = "C:\\Program Files\\COMODO\\COMODO Internet Security\\scanners\\";
  const auto host = m.folder() / "drive_c/Program Files/COMODO/COMODO Internet Security/scanners";
  const std::string registry =
      Key(std::string(kUninstall64).substr(19) + "\\{C}",
          Sz("DisplayName", "COMODO Internet Security Premium") +
              Sz("DisplayIcon", "C:\\\\Program Files\\\\COMODO\\\\COMODO Internet Security\\\\cis.exe"));
  m.File(folder + "B0022345.cav", "x");
  m.File(folder + "b0022400.cav", "x");
  m.File(folder + "bases.cav", "x");
  const auto now = std::filesystem::file_time_type::clock::now();
  std::filesystem::last_write_time(host / "B0022345.cav", now);
  std::filesystem::last_write_time(host / "b0022400.cav", now - std::chrono::hours(24));
  std::filesystem::last_write_time(host / "bases.cav", now + std::chrono::hours(1));
  Start(registry);
  rc.ScanEngineVersion = "";
  Comodo_Detail(rc);
  EXPECT_EQ(rc.ComodoScannerFolder, folder);
  EXPECT_EQ(rc.ComodoAccessIndex, 1);
  EXPECT_EQ(rc.AntivirusElements, Element("COMODO", "22345", "", "22345", "", "", "0"));
}

TEST_F(Comodo, NoB00FileWritesNoRecord) {
  m.File("C:\\Program Files\\COMODO\\COMODO Internet Security\\scanners\\bases.cav", "x");
  Start(Key(std::string(kUninstall32).substr(19) + "\\{C}",
            Sz("DisplayName", "COMODO Antivirus") +
                Sz("DisplayIcon", "C:\\\\Program Files\\\\COMODO\\\\COMODO Internet Security\\\\cis.exe")));
  rc.ProductFound = true;  // an earlier family's
  Comodo_Detail(rc);
  EXPECT_EQ(rc.AntivirusElements, "");
  EXPECT_EQ(rc.StatusDescription, "");
  EXPECT_EQ(Log().back(),
            "MSG : Current Comodo Defination Not Found in...C:\\Program Files\\COMODO\\COMODO Internet Security\\scanners\\");
}

// ---- Presence families and Webroot ----------------------------------------------

using Presence = ProductTest;

TEST_F(Presence, RecordsOfTheUninstallFamilies) {
  const struct {
    void (*details)(RunContext&);
    std::string registry;
    std::string element;
    const char* notInstalled;
  } cases[] = {
      {BluePoint_Details, Entry(kUninstall32, "BP", "BluePoint Security 2.1"),
       Element("BluePoint", "", "", "", "", "", "0"), "MSG : BluePoint not installed"},
      {PCMatic_Details, Entry(kUninstall64, "PCM", "PC Matic 3.0"), Element("PCMatic", "", "", "", "", "", "0"),
       "MSG : PCMatic not installed"},
      {BullGuard_Details, Entry(kUninstall32, "BG", "BullGuard Premium Protection"),
       Element("BullGuard", "", "", "", "", "", "0"), "MSG : BullGuard not installed"},
      {WebRoot_Details,
       Key("SOFTWARE\\Wow6432Node\\WRData", Sz("HPL", "9.0.1.8")) +
           Key("SOFTWARE\\Wow6432Node\\WRData\\Status",
               Sz("SKU", "Webroot SecureAnywhere Endpoint Protection") + Sz("version", "9.0.33.39")),
       Element("WebRoot", "9.0.33.39", "", "9.0.33.39", ":::", "9.0.1.8", "0"), "MSG : WebRoot not installed"},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    c.details(rc);
    EXPECT_EQ(rc.AntivirusElements, c.element);
    EXPECT_TRUE(rc.ProductFound);
    Start(Entry(kUninstall32, "X", "Contoso PDF Reader"));
    c.details(rc);
    EXPECT_EQ(rc.AntivirusElements, "");
    EXPECT_FALSE(rc.ProductFound);
    EXPECT_EQ(Log().back(), c.notInstalled);
  }
}

}  // namespace
