#include <gtest/gtest.h>

#include "products/products.h"
#include "products/registry_readers.h"
#include "tests/products/product_fixture.h"

namespace {

using namespace producttest;

constexpr const char* kFolder = "C:\\Program Files (x86)\\Avira\\Antivirus\\";
const std::string kDatFile = std::string(kFolder) + "aevdf.dat";

// Avira registers itself in the 32-bit list.
std::string Installed() {
  return "[" + std::string(kUninstall32) +
         "\\Avira Antivirus]\r\n\"DisplayName\"=\"Avira Antivirus\"\r\n"
         "\"InstallLocation\"=\"C:\\\\Program Files (x86)\\\\Avira\\\\Antivirus\"\r\n\r\n";
}

std::string Vdf(const std::string& key, const std::string& value) {
  return "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n\"VdfVersion\"=\"" + value + "\"\r\n\r\n";
}

const char* const kReadDesktop =
    "MSG : Reading definition from registry: HKEY_LOCAL_MACHINE\\SOFTWARE\\Avira\\AntiVir Desktop";
const char* const kReadServer =
    "MSG : Reading definition from registry: HKEY_LOCAL_MACHINE\\SOFTWARE\\Avira\\AntiVir Server";
const char* const kReadAntivirus =
    "MSG : Reading definition from registry: HKEY_LOCAL_MACHINE\\SOFTWARE\\Avira\\Antivirus";

using Avira = ProductTest;

TEST_F(Avira, RegistryKeysInTurn) {
  const struct {
    const char* name;
    std::string registry;
    Lines lines;
    const char* definition;
  } cases[] = {
      {"desktop, quotes removed",
       Vdf("SOFTWARE\\Wow6432Node\\Avira\\AntiVir Desktop", " \\\"8.12.1.2\\\" "),
       {kReadDesktop, "MSG : Avira antivirus definition 8.12.1.2"},
       "8.12.1.2"},
      {"server, 64-bit",
       Vdf("SOFTWARE\\Wow6432Node\\Avira\\AntiVir Server", "8.3.0.1"),
       {kReadDesktop, "MSG : Key SOFTWARE\\Avira\\AntiVir Desktop not found.", kReadServer,
        "MSG : Avira antivirus definition 8.3.0.1"},
       "8.3.0.1"},
      {"none, then the missing file",
       "",
       {kReadDesktop, "MSG : Key SOFTWARE\\Avira\\AntiVir Desktop not found.", kReadServer,
        "MSG : Key SOFTWARE\\Wow6432Node\\Avira\\AntiVir Server not found.", kReadAntivirus,
        "MSG : Key SOFTWARE\\Wow6432Node\\Avira\\Antivirus not found.",
        "ERR : File not found :: " + kDatFile},
       ""},
  };
  for (const auto& c : cases) {
    Start(c.registry);
    rc.AviraDefFile = kDatFile;
    GetAviraVirusDef(rc);
    EXPECT_EQ(Log(), c.lines) << c.name;
    EXPECT_EQ(rc.AviraDefinition, c.definition) << c.name;
  }
}

// Without WOW64 the keys are named without the Wow6432Node part.
TEST_F(Avira, ThirdKeyOnA32BitSystem) {
  m.System("Bits=32\r\n");
  Start(Vdf("SOFTWARE\\Avira\\Antivirus", "8.4"));
  GetAviraVirusDef(rc);
  EXPECT_EQ(Log(), (Lines{kReadDesktop, "MSG : Key SOFTWARE\\Avira\\AntiVir Desktop not found.", kReadServer,
                          "MSG : Key SOFTWARE\\Avira\\AntiVir Server not found.", kReadAntivirus,
                          "MSG : Avira antivirus definition 8.4"}));
  EXPECT_EQ(rc.AviraDefinition, "8.4");
}

TEST_F(Avira, DetailsReportTheDefinitionAsTheOnlyValue) {
  Start(Installed() + Vdf("SOFTWARE\\Wow6432Node\\Avira\\AntiVir Desktop", "8.12.1.2"));
  fncAvira(rc);
  EXPECT_EQ(rc.AviraFolder, kFolder);
  EXPECT_EQ(rc.AviraDefFile, kDatFile);
  EXPECT_EQ(rc.AntivirusElements, Element("Avira", "", "", "8.12.1.2", "", "", "0"));
  EXPECT_TRUE(rc.ProductFound);
  EXPECT_EQ(Log().front(), "MSG : in fncAvira");
}

TEST_F(Avira, DefinitionFileWhenTheRegistryHasNone) {
  const struct {
    const char* name;
    std::string content;
    const char* definition;
  } cases[] = {
      {"last version line wins", "[VDF]\r\nVERSION: 8.1.0.0\r\nother\r\nEngineVersion: 8.2.0.0 \r\n", "8.2.0.0"},
      {"cut at NUL", std::string("Version: 8.3.0.7\0garbage\n", 25), "8.3.0.7"},
      {"word at end of line", "8.1.0.0 VERSION: 8.1\r\nversion\r\n", ""},
  };
  for (const auto& c : cases) {
    m.File(kDatFile, c.content);
    Start(Installed() + Vdf("SOFTWARE\\Wow6432Node\\Avira\\AntiVir Desktop", ""));
    fncAvira(rc);
    EXPECT_EQ(From(Log(), kReadDesktop),
              (Lines{kReadDesktop, "MSG : ValueName \"SOFTWARE\\Avira\\AntiVir Desktop\\VdfVersion\" not found.",
                     "MSG : Definition not found in registry, reading from dat file.",
                     "MSG : Reading File " + kDatFile,
                     std::string("MSG : Avira Virus Definition :: ") + c.definition}))
        << c.name;
    EXPECT_EQ(rc.AviraDefinition, c.definition) << c.name;
  }
}

TEST_F(Avira, NothingReadAddsASentenceOnlyWhenTheFileExists) {
  const struct {
    bool file;
    const char* statusDescription;
    const char* lastLine;
  } cases[] = {
      {false, " Aevdf.dat file is missing.", "ERR : File not found :: C:\\Program Files (x86)\\Avira\\Antivirus\\aevdf.dat"},
      {true, "Failed to get the virus definition for Avira.", "MSG : Avira Virus Definition :: "},
  };
  for (const auto& c : cases) {
    if (c.file) m.File(kDatFile, "no such word here\r\n");
    Start(Installed());
    fncAvira(rc);
    EXPECT_EQ(rc.StatusDescription, c.statusDescription);
    EXPECT_EQ(Log().back(), c.lastLine);
    EXPECT_EQ(rc.AntivirusElements, "");
    EXPECT_FALSE(rc.ProductFound);
  }
}

TEST_F(Avira, NotInstalled) {
  Start(Entry(kUninstall32, "{X}", "Contoso PDF Reader"));
  fncAvira(rc);
  EXPECT_EQ(Log().back(), "MSG : Avira not installed");
  EXPECT_EQ(rc.AntivirusElements, "");
}

}  // namespace
