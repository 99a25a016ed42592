#include "platform/zip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_builder.h"

namespace {

std::vector<ziptest::Item> SampleItems() {
  std::string pattern;
  for (int i = 0; i < 5000; ++i) pattern += "pattern line " + std::to_string(i % 97) + "\n";
  return {{"lpt$vpn.123", pattern, true}, {"readme.txt", "stored text", false}, {"dir/", "", false},
          {"dir/inner.bin", std::string("\0\1\2binary", 9), true}, {"empty.txt", "", true}};
}

TEST(ZipReader, ReadsStoredAndDeflatedEntries) {
  const auto items = SampleItems();
  const std::string archive = ziptest::Build(items);
  std::vector<zip::Entry> entries;
  std::string why;
  ASSERT_TRUE(zip::ReadDirectory(archive, &entries, &why)) << why;
  ASSERT_EQ(entries.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(entries[i].name, items[i].name);
    EXPECT_EQ(entries[i].IsFolder(), items[i].name.back() == '/');
    std::string bytes;
    ASSERT_TRUE(zip::ReadEntry(archive, entries[i], &bytes, &why)) << items[i].name << ": " << why;
    EXPECT_EQ(bytes, items[i].data) << items[i].name;
  }
}

TEST(ZipReader, FindsDirectoryBehindAComment) {
  std::string archive = ziptest::Build({{"a.txt", "alpha", true}});
  const std::string comment = "archive comment PK\x05\x06 with a fake signature";
  archive[archive.size() - 2] = static_cast<char>(comment.size());
  archive += comment;
  std::vector<zip::Entry> entries;
  std::string why;
  ASSERT_TRUE(zip::ReadDirectory(archive, &entries, &why)) << why;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "a.txt");
}

TEST(ZipReader, RejectsDamageWithoutCrashing) {
  const auto items = SampleItems();
  const std::string good = ziptest::Build(items);
  std::vector<zip::Entry> entries;
  std::string why;

  // Every truncation loses the end record.
  for (size_t length = 0; length < good.size(); ++length)
    EXPECT_FALSE(zip::ReadDirectory(good.substr(0, length), &entries, &why)) << length;

  // Any single damaged byte either fails or still yields the original bytes.
  for (size_t at = 0; at < good.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xFF}) {
      std::string bad = good;
      bad[at] = static_cast<char>(bad[at] ^ flip);
      entries.clear();
      if (!zip::ReadDirectory(bad, &entries, &why)) continue;
      for (size_t i = 0; i < entries.size() && i < items.size(); ++i) {
        std::string bytes;
        if (zip::ReadEntry(bad, entries[i], &bytes, &why)) {
          EXPECT_EQ(bytes, items[i].data) << "byte " << at << " entry " << i;
        }
      }
    }
  }
}

TEST(ZipReader, RefusesWhatItCannotRead) {
  const struct {
    const char* label;
    size_t offset;  // into the central directory entry of a single-entry archive
    uint16_t value;
  } cases[] = {
      {"encrypted", 8, 1},
      {"unknown method", 10, 14},
  };
  const std::string good = ziptest::Build({{"a.txt", "alpha", false}});
  const size_t directory = good.size() - 22 - 46 - 5;
  for (const auto& c : cases) {
    std::string bad = good;
    bad[directory + c.offset] = static_cast<char>(c.value & 0xFF);
    bad[directory + c.offset + 1] = static_cast<char>(c.value >> 8);
    std::vector<zip::Entry> entries;
    std::string why, bytes;
    ASSERT_TRUE(zip::ReadDirectory(bad, &entries, &why)) << c.label;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(zip::ReadEntry(bad, entries[0], &bytes, &why)) << c.label;
  }
}

}  // namespace
