#include <gtest/gtest.h>

#include "platform/os.h"
#include "tests/platform/sim/sim_fixture.h"

namespace {

using simtest::TempMachine;

// The value's raw bytes through the two-call size protocol.
std::string Query(const std::string& keyPath, const std::string& name, uint32_t* type,
                  uint32_t access = os::kKeyRead) {
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx(keyPath, access, &key), 0) << keyPath;
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueEx(key, name, type, nullptr, &size), 0) << name;
  std::string data;
  EXPECT_EQ(os::RegQueryValueEx(key, name, type, &data, &size), 0) << name;
  EXPECT_EQ(size, data.size());
  return data;
}

TEST(SimRegistry, ValueForms) {
  TempMachine m;
  m.Registry(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor]
"Text"="C:\\Program Files\\A \"quoted\" name"
@="default"
"Count"=dword:0000000a
"Blob"=hex:01,02,ff
"Expand"=hex(2):25,00,41,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Quad"=hex(b):01,00,00,00,00,00,00,00
"Long"=hex:01,02,\
  03,04
"Gone"=-
)");
  ASSERT_EQ(m.Load(), "");
  const std::string key = "SOFTWARE\\Vendor";  // 32-bit view
  uint32_t type = 0;
  EXPECT_EQ(Query(key, "Text", &type), std::string("C:\\Program Files\\A \"quoted\" name") + '\0');
  EXPECT_EQ(type, os::kRegSz);
  EXPECT_EQ(Query(key, "", &type), std::string("default\0", 8));
  EXPECT_EQ(Query(key, "count", &type), std::string("\x0a\0\0\0", 4));
  EXPECT_EQ(type, os::kRegDword);
  EXPECT_EQ(Query(key, "Blob", &type), "\x01\x02\xff");
  EXPECT_EQ(type, os::kRegBinary);
  EXPECT_EQ(Query(key, "Expand", &type), std::string("%A%\0", 4));
  EXPECT_EQ(type, os::kRegExpandSz);
  EXPECT_EQ(Query(key, "Multi", &type), std::string("a\0b\0\0", 5));
  EXPECT_EQ(type, os::kRegMultiSz);
  EXPECT_EQ(Query(key, "Quad", &type), std::string("\x01\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(type, os::kRegQword);
  EXPECT_EQ(Query(key, "Long", &type), "\x01\x02\x03\x04");

  os::RegKey k;
  ASSERT_EQ(os::RegOpenKeyEx(key, os::kKeyRead, &k), 0);
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueEx(k, "Gone", &type, nullptr, &size), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegQueryValueEx(k, "Missing", &type, nullptr, &size), os::kErrorFileNotFound);
}

TEST(SimRegistry, Regedit4KeepsAnsiHexStrings) {
  TempMachine m;
  m.Write("registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\X]\n\"E\"=hex(2):41,42,00\n");
  ASSERT_EQ(m.Load(), "");
  uint32_t type = 0;
  EXPECT_EQ(Query("SYSTEM\\X", "E", &type), std::string("AB\0", 3));
}

TEST(SimRegistry, Utf16FileIsNarrowedToAnsi) {
  TempMachine m;
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Caf\u00e9]\r\n"
      u"\"Name\"=\"x\u20ac\"\r\n\"Wide\"=hex(1):41,00,e9,00,00,00\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  m.Write("registry.reg", bytes);
  ASSERT_EQ(m.Load(), "");
  uint32_t type = 0;
  // Windows-1252: é is 0xE9 (key names compare without case: É), € is 0x80.
  EXPECT_EQ(Query("SYSTEM\\CAF\xC9", "name", &type), std::string("x\x80\0", 3));
  EXPECT_EQ(Query("SYSTEM\\Caf\xE9", "Wide", &type), std::string("A\xE9\0", 3));
  EXPECT_EQ(type, os::kRegSz);
}

TEST(SimRegistry, ErrorsNameFileAndLine) {
  struct Case {
    const char* body;
    const char* where;
  };
  const Case cases[] = {
      {"Windows Registry Editor Version 4\r\n", "registry.reg:1: "},
      {"REGEDIT4\r\n\"a\"=\"b\"\r\n", "registry.reg:2: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=dword:xyz\r\n", "registry.reg:3: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\r\n\"a\"=hex:1,zz\r\n", "registry.reg:4: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X\r\n", "registry.reg:2: "},
      {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n", "registry.reg:2: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"open\r\n", "registry.reg:3: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n;sim:deny=KEY_WRITE_ALL\r\n", "registry.reg:3: "},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\nnonsense\r\n", "registry.reg:3: "},
  };
  for (const Case& c : cases) {
    TempMachine m;
    m.Write("registry.reg", c.body);
    const std::string error = m.Load();
    EXPECT_NE(error.find(m.dir() + "/" + c.where), std::string::npos) << c.body << " -> " << error;
  }
}

TEST(SimRegistry, DeletionsAreIgnored) {
  TempMachine m;
  m.Registry(R"([-HKEY_LOCAL_MACHINE\SOFTWARE\Old]
[HKEY_LOCAL_MACHINE\SYSTEM\Keep]
"v"="1"
)");
  ASSERT_EQ(m.Load(), "");
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx("SOFTWARE\\Old", os::kKeyRead | os::kKeyWow64_64Key, &key), 2);
  EXPECT_EQ(os::RegOpenKeyEx("system\\keep", os::kKeyRead, &key), 0);
}

TEST(SimRegistry, ViewsOn64BitMachine) {
  TempMachine m;
  m.Registry(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Where"="64"
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor]
"Where"="32"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet]
)");
  ASSERT_EQ(m.Load(), "");
  uint32_t type = 0;
  EXPECT_EQ(Query("SOFTWARE\\Vendor", "Where", &type), std::string("32\0", 3));
  EXPECT_EQ(Query("SOFTWARE\\Vendor", "Where", &type, os::kKeyRead | os::kKeyWow64_32Key),
            std::string("32\0", 3));
  EXPECT_EQ(Query("SOFTWARE\\Vendor", "Where", &type, os::kKeyRead | os::kKeyWow64_64Key),
            std::string("64\0", 3));
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKey("software\\vendor", &key), 0);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\CurrentControlSet", os::kKeyRead, &key), 0);
  // SOFTWARE itself in the 32-bit view is Wow6432Node: it lists Vendor only.
  ASSERT_EQ(os::RegOpenKeyEx("SOFTWARE", os::kKeyRead, &key), 0);
  std::string name;
  EXPECT_EQ(os::RegEnumKey(key, 0, 256, &name), 0);
  EXPECT_EQ(name, "Vendor");
  EXPECT_EQ(os::RegEnumKey(key, 1, 256, &name), os::kErrorNoMoreItems);
}

TEST(SimRegistry, ViewsOn32BitMachineAreTheSame) {
  TempMachine m;
  m.Ini("[System]\nBits=32\n");
  m.Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\n\"Where\"=\"only\"\n");
  ASSERT_EQ(m.Load(), "");
  uint32_t type = 0;
  for (uint32_t access : {os::kKeyRead, os::kKeyRead | os::kKeyWow64_64Key, os::kKeyRead | os::kKeyWow64_32Key}) {
    EXPECT_EQ(Query("SOFTWARE\\Vendor", "Where", &type, access), std::string("only\0", 5));
  }
}

TEST(SimRegistry, DenyDirective) {
  TempMachine m;
  m.Registry(R"([HKEY_LOCAL_MACHINE\SYSTEM\Admin]
;sim:deny=KEY_ALL_ACCESS
[HKEY_LOCAL_MACHINE\SYSTEM\Secret]
;sim:deny=KEY_READ
[HKEY_LOCAL_MACHINE\SYSTEM\Custom]
;sim:deny=0x0002
)");
  ASSERT_EQ(m.Load(), "");
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Admin", os::kKeyAllAccess, &key), os::kErrorAccessDenied);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Admin", os::kKeyRead, &key), 0);
  EXPECT_EQ(os::RegOpenKey("SYSTEM\\Admin", &key), 0);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Secret", os::kKeyRead, &key), os::kErrorAccessDenied);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Secret", os::kKeyAllAccess, &key), os::kErrorAccessDenied);
  EXPECT_EQ(os::RegOpenKey("SYSTEM\\Secret", &key), os::kErrorAccessDenied);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Custom", os::kKeyRead, &key), 0);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Custom", os::kKeyAllAccess, &key), os::kErrorAccessDenied);
  // Only the key itself is denied, not its parent.
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM", os::kKeyAllAccess, &key), 0);
}

TEST(SimRegistry, EnumerationIsSortedWithoutCase) {
  TempMachine m;
  m.Registry(R"([HKEY_LOCAL_MACHINE\SYSTEM\U\zeta]
[HKEY_LOCAL_MACHINE\SYSTEM\U\Beta]
[HKEY_LOCAL_MACHINE\SYSTEM\U\alpha]
[HKEY_LOCAL_MACHINE\SYSTEM\U\_under]
[HKEY_LOCAL_MACHINE\SYSTEM\U\{GUID-1}]
[HKEY_LOCAL_MACHINE\SYSTEM\U\ALPHA\child]
)");
  ASSERT_EQ(m.Load(), "");
  os::RegKey key;
  ASSERT_EQ(os::RegOpenKeyEx("SYSTEM\\u", os::kKeyRead, &key), 0);
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; os::RegEnumKey(key, i, 256, &name) == 0; ++i) names.push_back(name);
  // Upper-case comparison: '_' (0x5F) sorts after letters, '{' after '_'.
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "zeta", "_under", "{GUID-1}"}));
  EXPECT_EQ(os::RegEnumKey(key, 5, 256, &name), os::kErrorNoMoreItems);
  name = "unchanged";
  EXPECT_EQ(os::RegEnumKey(key, 0, 5, &name), os::kErrorMoreData);  // "alpha" + NUL needs 6
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(os::RegEnumKey(key, 0, 6, &name), 0);
}

// Walks resume from where the last call stopped; any other order must still
// name the right subkey, and two handles to one key walk independently.
TEST(SimRegistry, EnumerationInAnyOrderAndOnTwoHandles) {
  TempMachine m;
  std::string reg;
  for (char c = 'a'; c <= 'f'; ++c) reg += std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\L\\") + c + "]\n";
  m.Registry(reg);
  ASSERT_EQ(m.Load(), "");
  os::RegKey first, second;
  ASSERT_EQ(os::RegOpenKeyEx("SYSTEM\\L", os::kKeyRead, &first), 0);
  ASSERT_EQ(os::RegOpenKeyEx("SYSTEM\\L", os::kKeyRead, &second), 0);
  const struct {
    const os::RegKey* key;
    uint32_t index;
    const char* expected;
  } steps[] = {{&first, 0, "a"},  {&first, 1, "b"},  {&second, 4, "e"}, {&first, 2, "c"},
               {&first, 2, "c"},  {&first, 5, "f"},  {&first, 1, "b"},  {&second, 0, "a"},
               {&second, 5, "f"}, {&first, 3, "d"}};
  for (const auto& step : steps) {
    std::string name;
    ASSERT_EQ(os::RegEnumKey(*step.key, step.index, 256, &name), 0) << step.index;
    EXPECT_EQ(name, step.expected) << "index " << step.index;
  }
  std::string name;
  EXPECT_EQ(os::RegEnumKey(first, 6, 256, &name), os::kErrorNoMoreItems);
  EXPECT_EQ(os::RegEnumKey(first, 4, 256, &name), 0);
  EXPECT_EQ(name, "e");
}

// A key nested deeper than the stack allows loads, opens and is freed when
// the next machine is loaded (the tree was once freed recursively).
TEST(SimRegistry, KeysNestedFarDeeperThanTheStack) {
  constexpr int kDepth = 300000;
  std::string path = "SOFTWARE";
  for (int i = 0; i < kDepth; ++i) path += "\\k";
  TempMachine m;
  m.Registry("[HKEY_LOCAL_MACHINE\\" + path + "]\n\"Depth\"=dword:00000001\n");
  ASSERT_EQ(m.Load(), "");
  os::RegKey key;
  EXPECT_EQ(os::RegOpenKeyEx(path, os::kKeyRead | os::kKeyWow64_64Key, &key), 0);
  key = os::RegKey();
  TempMachine empty;
  EXPECT_EQ(empty.Load(), "");
  EXPECT_EQ(os::RegOpenKeyEx("SOFTWARE\\k", os::kKeyRead | os::kKeyWow64_64Key, &key), os::kErrorFileNotFound);
}

TEST(SimRegistry, QuerySizeProtocol) {
  TempMachine m;
  m.Registry("[HKEY_LOCAL_MACHINE\\SYSTEM\\K]\n\"S\"=\"hello\"\n");
  ASSERT_EQ(m.Load(), "");
  os::RegKey key;
  ASSERT_EQ(os::RegOpenKeyEx("SYSTEM\\K", os::kKeyRead, &key), 0);
  uint32_t type = 99, size = 0;
  std::string data = "untouched";
  EXPECT_EQ(os::RegQueryValueEx(key, "S", &type, nullptr, &size), 0);
  EXPECT_EQ(type, os::kRegSz);
  EXPECT_EQ(size, 6u);
  size = 3;
  EXPECT_EQ(os::RegQueryValueEx(key, "S", &type, &data, &size), os::kErrorMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(data, "untouched");
  size = 100;
  EXPECT_EQ(os::RegQueryValueEx(key, "s", &type, &data, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(data, std::string("hello\0", 6));

  os::RegKey closed;
  EXPECT_EQ(os::RegQueryValueEx(closed, "S", &type, nullptr, &size), os::kErrorInvalidHandle);
  EXPECT_EQ(os::RegOpenKeyEx("SYSTEM\\Missing", os::kKeyRead, &closed), os::kErrorFileNotFound);
  EXPECT_FALSE(closed.valid());
}

}  // namespace
