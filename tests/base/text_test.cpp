#include "base/text.h"

#include <gtest/gtest.h>

#include "base/dates.h"
#include "base/ini_text.h"

namespace {

TEST(SplitLines, SplitsAsATextStreamReads) {
  struct Case {
    std::string_view text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\r\r\nb\r", {"a\r", "b"}},  // one CR before the LF only
      {"a\rb\n", {"a\rb"}},          // a lone CR ends no line
      {std::string_view("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
}

TEST(ContainsAny, IgnoresCaseAndNeedsOneNeedle) {
  EXPECT_TRUE(ContainsAny("ESET Smart Security 9", {"eset nod32", "SMART SECURITY"}));
  EXPECT_FALSE(ContainsAny("ESET Smart Security 9", {"NOD32", "Endpoint"}));
  EXPECT_FALSE(ContainsAny("anything", std::initializer_list<std::string_view>{}));
  const std::vector<std::string_view> names = {"Norton", "Symantec"};
  EXPECT_TRUE(ContainsAny("symantec endpoint", names));
}

TEST(Trim, EachFormTrimsOnlyItsCharacters) {
  EXPECT_EQ(TrimSpaces(" \ta b\t "), "\ta b\t");
  EXPECT_EQ(TrimSpacesTabs(" \ta b\r\t "), "a b\r");
  EXPECT_EQ(TrimBlanks("\r\n a b \t\n"), "a b");
  EXPECT_EQ(TrimSpacesTabs(" \t "), "");
}

TEST(IniText, HeaderAndKeyLinesAreTrimmedOfSpacesAndTabs) {
  std::string name, key, value;
  EXPECT_TRUE(IniSectionHeader(" \t[ Sec ]x", &name));
  EXPECT_EQ(name, "Sec");
  EXPECT_FALSE(IniSectionHeader("k=[v]", &name));
  EXPECT_TRUE(IniKeyLine("\tKey = a=b \t", &key, &value));
  EXPECT_EQ(key, "Key");
  EXPECT_EQ(value, "a=b");
  EXPECT_FALSE(IniKeyLine("no equals sign", &key, &value));
}

TEST(Dates, FixedFormsOfOneTime) {
  const DateTime t{2026, 3, 7, 9, 5, 4, 0};
  EXPECT_EQ(FormatRecordDate(t), "03/07/2026");
  EXPECT_EQ(FormatFileTime(t), "03072026090504");
  EXPECT_EQ(FormatRecordDate(DateTime{1899, 12, 30, 0, 0, 0, 0}), "12/30/1899");
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 719162);
}

}  // namespace
