// INI reads: buffer truncation, defaults, case, quotes and spacing.
#include "tests/conformance/conformance.h"

namespace conformance {
namespace {

class IniConformance : public ConformanceTest {
 protected:
  void SetUp() override {
    ConformanceTest::SetUp();
    path_ = Scratch("settings.ini");
    WriteFile(path_,
              "; a comment line\r\n"
              "[Settings]\r\n"
              "Name = Value with spaces   \r\n"
              "   Indented=yes\r\n"
              "Quoted=\"  padded  \"\r\n"
              "Single='single'\r\n"
              "Unmatched=\"open\r\n"
              "Inner=a \"b\" c\r\n"
              "Url=http://host/?a=b\r\n"
              "Comment=value ; not a comment\r\n"
              "Empty=\r\n"
              "Long=abcdefghij\r\n"
              "[Other]\r\n"
              "name=other\r\n"
              "[settings]\r\n"
              "Second=in a second section of the same name\r\n");
  }

  std::string path_;
};

TEST_F(IniConformance, ReadsValuesAsWindowsDoes) {
  struct Case {
    const char* section;
    const char* key;
    const char* defaultValue;
    uint32_t bufferSize;
    const char* expected;
  };
  const Case cases[] = {
      // Blanks around the key and the value are dropped.
      {"Settings", "Name", "", 100, "Value with spaces"},
      {"Settings", "Indented", "", 100, "yes"},
      // Section and key names ignore case.
      {"SETTINGS", "name", "", 100, "Value with spaces"},
      {"other", "NAME", "", 100, "other"},
      // A value wholly in matching quotes loses them, and only them.
      {"Settings", "Quoted", "", 100, "  padded  "},
      {"Settings", "Single", "", 100, "single"},
      {"Settings", "Unmatched", "", 100, "\"open"},
      {"Settings", "Inner", "", 100, "a \"b\" c"},
      {"Settings", "Url", "", 100, "http://host/?a=b"},
      {"Settings", "Comment", "", 100, "value ; not a comment"},
      // A key that is there with no value is empty, not the default.
      {"Settings", "Empty", "dflt", 100, ""},
      // Missing section or key: the default, without its trailing blanks.
      {"Settings", "Missing", "dflt", 100, "dflt"},
      {"Missing", "Name", "dflt  ", 100, "dflt"},
      {"Missing", "Name", "", 100, ""},
      // Only the first section of a name is read.
      {"Settings", "Second", "dflt", 100, "dflt"},
      // At most bufferSize - 1 characters, the value's or the default's.
      {"Settings", "Long", "", 11, "abcdefghij"},
      {"Settings", "Long", "", 10, "abcdefghi"},
      {"Settings", "Long", "", 5, "abcd"},
      {"Settings", "Long", "", 2, "a"},
      {"Settings", "Long", "", 1, ""},
      {"Settings", "Missing", "defaultvalue", 4, "def"},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    const uint32_t count =
        os::GetPrivateProfileString(c.section, c.key, c.defaultValue, c.bufferSize, path_, &out);
    EXPECT_EQ(out, c.expected) << "[" << c.section << "] " << c.key << ", buffer " << c.bufferSize;
    EXPECT_EQ(count, out.size()) << "[" << c.section << "] " << c.key << ", buffer " << c.bufferSize;
  }
}

TEST_F(IniConformance, AMissingFileGivesTheDefault) {
  std::string out;
  EXPECT_EQ(os::GetPrivateProfileString("Settings", "Name", "dflt", 100, Scratch("missing.ini"), &out), 4u);
  EXPECT_EQ(out, "dflt");
  EXPECT_EQ(os::GetPrivateProfileString("Settings", "Name", "dflt", 100, Scratch("no\\such.ini"), &out), 4u);
  EXPECT_EQ(out, "dflt");
}

TEST_F(IniConformance, WrittenValuesReadBackAndLeaveTheRest) {
  EXPECT_TRUE(os::WritePrivateProfileString("settings", "LONG", "short", path_));
  EXPECT_TRUE(os::WritePrivateProfileString("New Section", "Key", "new value", path_));
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  for (const Case& c : {Case{"Settings", "Long", "short"}, Case{"New Section", "key", "new value"},
                        Case{"Settings", "Name", "Value with spaces"}, Case{"Other", "name", "other"}}) {
    std::string out;
    (void)os::GetPrivateProfileString(c.section, c.key, "", 100, path_, &out);
    EXPECT_EQ(out, c.expected) << "[" << c.section << "] " << c.key;
  }
  // A new file is made when its folder exists.
  const std::string fresh = Scratch("fresh.ini");
  EXPECT_TRUE(os::WritePrivateProfileString("S", "K", "V", fresh));
  std::string out;
  EXPECT_EQ(os::GetPrivateProfileString("s", "k", "", 100, fresh, &out), 1u);
  EXPECT_EQ(out, "V");
}

}  // namespace
}  // namespace conformance
