// Registry: subkey order and name buffers, value types and sizes, the two views.
#include "tests/conformance/conformance.h"

namespace conformance {
namespace {

using std::string_literals::operator""s;

class RegistryConformance : public ConformanceTest {
 protected:
  // Creates a key (and its parents) in a view.
  static void MakeKey(const std::string& path, uint32_t view = 0) {
    os::RegKey key;
    ASSERT_EQ(os::RegCreateKeyEx(path, os::kKeyAllAccess | view, &key), 0) << path;
  }

  // The subkey names by rising index up to 259; any other result fails.
  static std::vector<std::string> Subkeys(const std::string& path, uint32_t view = 0) {
    os::RegKey key;
    EXPECT_EQ(os::RegOpenKeyEx(path, os::kKeyRead | view, &key), 0) << path;
    std::vector<std::string> names;
    for (uint32_t index = 0;; ++index) {
      std::string name;
      const long result = os::RegEnumKey(key, index, 260, &name);
      if (result == os::kErrorNoMoreItems) break;
      EXPECT_EQ(result, 0) << "index " << index;
      if (result != 0 || index > 1000) break;
      names.push_back(name);
    }
    return names;
  }
};

TEST_F(RegistryConformance, SubkeysComeSortedWithoutRegardToCase) {
  // Windows keeps a key's subkeys in an index sorted by upper-cased name
  // (the order is not documented, but the agent walks it): "_" (0x5F) sorts
  // after the letters. Wine compares lower-cased names, so "_" comes first.
  const std::string root = kScratchKey + "\\order";
  for (const char* name : {"beta", "Alpha", "_under", "alpha2", "Zulu", "9nine", "a", "B1"}) {
    MakeKey(root + "\\" + name);
  }
  const std::vector<std::string> upperCased{"9nine", "a", "Alpha", "alpha2", "B1", "beta", "Zulu", "_under"};
  const std::vector<std::string> lowerCased{"9nine", "_under", "a", "Alpha", "alpha2", "B1", "beta", "Zulu"};
  EXPECT_EQ(Subkeys(root), (PerBackend<std::vector<std::string>>{upperCased, lowerCased, upperCased}.Get()));
  // Names keep the case they were created with; opening ignores it.
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx(root + "\\ALPHA2", os::kKeyRead, &key), 0);
}

TEST_F(RegistryConformance, EnumKeyNeedsRoomForTheNameAndItsNul) {
  const std::string root = kScratchKey + "\\names";
  MakeKey(root + "\\abcdef");
  os::RegKey key;
  ASSERT_EQ(os::RegOpenKeyEx(root, os::kKeyRead, &key), 0);
  struct Case {
    uint32_t bufferSize;
    long result;
  };
  for (const Case& c : {Case{0, os::kErrorMoreData}, Case{1, os::kErrorMoreData},
                        Case{6, os::kErrorMoreData}, Case{7, 0}, Case{260, 0}}) {
    std::string name = "untouched";
    EXPECT_EQ(os::RegEnumKey(key, 0, c.bufferSize, &name), c.result) << "buffer " << c.bufferSize;
    EXPECT_EQ(name, c.result == 0 ? "abcdef" : "untouched") << "buffer " << c.bufferSize;
  }
  std::string name;
  EXPECT_EQ(os::RegEnumKey(key, 1, 260, &name), os::kErrorNoMoreItems);
  EXPECT_EQ(os::RegEnumKey(key, 1000, 260, &name), os::kErrorNoMoreItems);
  // Past the end of an empty key as well; a short buffer does not change that.
  MakeKey(root + "\\empty");
  os::RegKey empty;
  ASSERT_EQ(os::RegOpenKeyEx(root + "\\empty", os::kKeyRead, &empty), 0);
  EXPECT_EQ(os::RegEnumKey(empty, 0, 260, &name), os::kErrorNoMoreItems);
  EXPECT_EQ(os::RegEnumKey(empty, 0, 1, &name), os::kErrorNoMoreItems);
}

TEST_F(RegistryConformance, EnumerationSeesKeysAddedAndDeletedDuringAWalk) {
  const std::string root = kScratchKey + "\\walk";
  for (const char* name : {"b", "d", "f"}) MakeKey(root + "\\" + name);
  os::RegKey key;
  ASSERT_EQ(os::RegOpenKeyEx(root, os::kKeyRead, &key), 0);
  std::string name;
  ASSERT_EQ(os::RegEnumKey(key, 1, 260, &name), 0);
  EXPECT_EQ(name, "d");
  // A key sorted in front moves every later index up by one.
  MakeKey(root + "\\a");
  ASSERT_EQ(os::RegEnumKey(key, 2, 260, &name), 0);
  EXPECT_EQ(name, "d");
  ASSERT_EQ(os::RegDeleteTree(root + "\\d", 0), 0);
  ASSERT_EQ(os::RegEnumKey(key, 2, 260, &name), 0);
  EXPECT_EQ(name, "f");
  EXPECT_EQ(os::RegEnumKey(key, 3, 260, &name), os::kErrorNoMoreItems);
}

TEST_F(RegistryConformance, ValueSizesAndTypesAreAsStored) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  };
  const Case cases[] = {
      {"sz", os::kRegSz, "text\0"s},
      {"sz-without-nul", os::kRegSz, "text"},
      {"sz-empty", os::kRegSz, "\0"s},
      {"expand-sz", os::kRegExpandSz, "%TEMP%\\x\0"s},
      {"multi-sz", os::kRegMultiSz, "a\0bc\0\0"s},
      {"dword", os::kRegDword, "\x0a\0\0\0"s},
      {"qword", os::kRegQword, "\x01\0\0\0\0\0\0\x80"s},
      {"binary", os::kRegBinary, "\x01\0\xff"s},
      {"binary-empty", os::kRegBinary, ""},
      {"", os::kRegSz, "default\0"s},  // the key's default value
  };
  const std::string path = kScratchKey + "\\values";
  {
    os::RegKey key;
    ASSERT_EQ(os::RegCreateKeyEx(path, os::kKeyAllAccess, &key), 0);
    for (const Case& c : cases) ASSERT_EQ(os::RegSetValueEx(key, c.name, c.type, c.bytes), 0) << c.name;
  }
  os::RegKey key;
  ASSERT_EQ(os::RegOpenKeyEx(path, os::kKeyRead, &key), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t stored = static_cast<uint32_t>(c.bytes.size());
    uint32_t type = 99, size = 12345;
    ASSERT_EQ(os::RegQueryValueEx(key, c.name, &type, nullptr, &size), 0);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, stored);

    std::string data = "untouched";
    size = stored;
    ASSERT_EQ(os::RegQueryValueEx(key, c.name, &type, &data, &size), 0);
    EXPECT_EQ(data, c.bytes);
    EXPECT_EQ(size, stored);

    if (stored == 0) continue;
    data = "untouched";
    size = stored - 1;
    EXPECT_EQ(os::RegQueryValueEx(key, c.name, &type, &data, &size), os::kErrorMoreData);
    EXPECT_EQ(size, stored) << "the size needed";
    EXPECT_EQ(data, "untouched");
  }
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueEx(key, "missing", nullptr, nullptr, &size), os::kErrorFileNotFound);
  // Value names ignore case.
  std::string data;
  size = 100;
  EXPECT_EQ(os::RegQueryValueEx(key, "DWORD", nullptr, &data, &size), 0);
  EXPECT_EQ(data, "\x0a\0\0\0"s);
}

TEST_F(RegistryConformance, WritesNeedTheRightsTheKeyWasOpenedWith) {
  const std::string path = kScratchKey + "\\rights";
  MakeKey(path);
  os::RegKey readOnly;
  ASSERT_EQ(os::RegOpenKeyEx(path, os::kKeyRead, &readOnly), 0);
  EXPECT_EQ(os::RegSetValueEx(readOnly, "v", os::kRegSz, "x\0"s), os::kErrorAccessDenied);
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueEx(readOnly, "v", nullptr, nullptr, &size), os::kErrorFileNotFound);
}

TEST_F(RegistryConformance, DeletedKeysAreGoneAndTheirHandlesFail) {
  const std::string path = kScratchKey + "\\doomed";
  os::RegKey key;
  ASSERT_EQ(os::RegCreateKeyEx(path + "\\child", os::kKeyAllAccess, &key), 0);
  ASSERT_EQ(os::RegSetValueEx(key, "v", os::kRegDword, std::string(4, '\0')), 0);
  ASSERT_EQ(os::RegDeleteTree(path, 0), 0);
  os::RegKey reopened;
  EXPECT_EQ(os::RegOpenKeyEx(path, os::kKeyRead, &reopened), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegDeleteTree(path, 0), os::kErrorFileNotFound);
  // ERROR_KEY_DELETED: the handle outlived its key.
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueEx(key, "v", nullptr, nullptr, &size), 1018);
}

TEST_F(RegistryConformance, SoftwareHasA32BitAndA64BitView) {
  // Both backends are 64-bit machines here (the sim's machine is made so; a
  // 64-bit Windows program only runs on 64-bit Windows).
  const std::string path = kScratchKey + "\\view";
  MakeKey(path + "\\only64", os::kKeyWow64_64Key);
  MakeKey(path + "\\only32", os::kKeyWow64_32Key);
  MakeKey(path + "\\default");  // no flag: the 32-bit program's view

  EXPECT_EQ(Subkeys(path, os::kKeyWow64_64Key), (std::vector<std::string>{"only64"}));
  EXPECT_EQ(Subkeys(path, os::kKeyWow64_32Key), (std::vector<std::string>{"default", "only32"}));
  EXPECT_EQ(Subkeys(path), (std::vector<std::string>{"default", "only32"}));
  // The 32-bit view is Wow6432Node as the 64-bit view sees it.
  EXPECT_EQ(Subkeys("SOFTWARE\\Wow6432Node\\avdef-conformance\\view", os::kKeyWow64_64Key),
            (std::vector<std::string>{"default", "only32"}));
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx(path + "\\only64", os::kKeyRead, &key), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegOpenKey(path + "\\only32", &key), 0);

  // Deleting in one view leaves the other.
  ASSERT_EQ(os::RegDeleteTree(path, os::kKeyWow64_32Key), 0);
  EXPECT_EQ(os::RegOpenKeyEx(path, os::kKeyRead, &key), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegOpenKeyEx(path + "\\only64", os::kKeyRead | os::kKeyWow64_64Key, &key), 0);
}

}  // namespace
}  // namespace conformance
