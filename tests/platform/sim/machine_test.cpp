#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/os.h"
#include "tests/platform/sim/sim_fixture.h"

namespace {

using simtest::TempMachine;

TEST(SimMachine, Defaults64Bit) {
  TempMachine m;
  ASSERT_EQ(m.Load("FORCE now"), "");
  EXPECT_EQ(os::GetCommandLineArgs(), "FORCE now");
  EXPECT_EQ(os::GetModuleFileName(), "C:\\Program Files (x86)\\Agent\\AVUpdate\\avdefupdate.exe");
  EXPECT_EQ(os::GetSystemDirectory(), "C:\\Windows\\system32");
  bool wow64 = false;
  EXPECT_TRUE(os::IsWow64Process(&wow64));
  EXPECT_TRUE(wow64);
  uint32_t major = 0, minor = 0;
  EXPECT_TRUE(os::GetVersionEx(&major, &minor));
  EXPECT_EQ(major, 6u);
  EXPECT_EQ(minor, 2u);
  std::string value;
  EXPECT_TRUE(os::GetEnvironmentVariable("programfiles", &value));
  EXPECT_EQ(value, "C:\\Program Files (x86)");
  EXPECT_TRUE(os::GetEnvironmentVariable("WINDIR", &value));
  EXPECT_EQ(value, "C:\\Windows");
  EXPECT_FALSE(os::GetEnvironmentVariable("NOT_SET", &value));
  const std::pair<int, const char*> folders[] = {
      {35, "C:\\ProgramData"}, {36, "C:\\Windows"}, {37, "C:\\Windows\\SysWOW64"},
      {38, "C:\\Program Files (x86)"}, {42, "C:\\Program Files (x86)"},
      {43, "C:\\Program Files (x86)\\Common Files"}};
  for (const auto& [csidl, path] : folders) {
    EXPECT_TRUE(os::GetSpecialFolderPath(csidl, &value)) << csidl;
    EXPECT_EQ(value, path);
  }
  EXPECT_FALSE(os::GetSpecialFolderPath(5, &value));

  std::vector<os::WmiObject> objects;
  ASSERT_TRUE(os::WmiInstancesOf("win32_operatingsystem", &objects));
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].Get("caption"), "Microsoft Windows 10 Pro");
  EXPECT_EQ(objects[0].Get("OSArchitecture"), "64-bit");
  ASSERT_TRUE(os::WmiInstancesOf("Win32_ComputerSystem", &objects));
  EXPECT_EQ(objects[0].Get("SystemType"), "x64-based PC");

  const os::LocalTime t = os::Now();
  EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond}),
            std::vector<int>({2026, 12, 7, 0, 41, 50, 0}));
}

TEST(SimMachine, IniSettings32Bit) {
  TempMachine m;
  m.Mkdir("drive_c/Tools");
  m.Ini(R"(; a comment
[System]
ProgramPath = C:\Tools\avdefupdate.exe
Bits=32
Wow64=absent
Caption=Microsoft Windows 8.1 Pro
Version=6.3
WMI=unavailable
[environment]
TEMP=C:\Temp
windir=
Extra=yes
[SpecialFolders]
36=D:\Elsewhere
[Clock]
Start=2025-02-28 23:59:59
)");
  ASSERT_EQ(m.Load(), "");
  bool wow64 = true;
  EXPECT_FALSE(os::IsWow64Process(&wow64));
  uint32_t major = 0, minor = 0;
  EXPECT_TRUE(os::GetVersionEx(&major, &minor));
  EXPECT_EQ(minor, 3u);
  std::string value;
  EXPECT_TRUE(os::GetEnvironmentVariable("ProgramFiles", &value));
  EXPECT_EQ(value, "C:\\Program Files");
  EXPECT_TRUE(os::GetEnvironmentVariable("temp", &value));
  EXPECT_EQ(value, "C:\\Temp");
  EXPECT_TRUE(os::GetEnvironmentVariable("EXTRA", &value));
  EXPECT_FALSE(os::GetEnvironmentVariable("windir", &value));
  EXPECT_TRUE(os::GetSpecialFolderPath(37, &value));
  EXPECT_EQ(value, "C:\\Windows\\system32");
  EXPECT_TRUE(os::GetSpecialFolderPath(36, &value));
  EXPECT_EQ(value, "D:\\Elsewhere");
  std::vector<os::WmiObject> objects;
  EXPECT_FALSE(os::WmiInstancesOf("Win32_OperatingSystem", &objects));
  EXPECT_EQ(os::GetModuleFileName(), "C:\\Tools\\avdefupdate.exe");
  EXPECT_EQ(os::Now().month, 2);
}

TEST(SimMachine, IniErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"[System]\nColour=blue\n", "machine.ini:2: "},
      {"[System]\n\n[Nonsense]\n", "machine.ini:3: "},
      {"Bits=64\n", "machine.ini:1: "},
      {"[System]\nBits=16\n", "machine.ini:2: "},
      {"[System]\nWow64=maybe\n", "machine.ini:2: "},
      {"[Services]\nSpooler=sleeping\n", "machine.ini:2: "},
      {"[Programs]\nC:\\x.exe=runs=ten\n", "machine.ini:2: "},
      {"[Programs]\nC:\\x.exe=walks=10\n", "machine.ini:2: "},
      {"[Clock]\nStart=2026-02-30 00:00:00\n", "machine.ini:2: "},
      {"[Clock]\nStop=2026-02-01 00:00:00\n", "machine.ini:2: "},
      {"[System]\nno equals sign\n", "machine.ini:2: "},
      {"[Signatures]\nC:\\x.exe=trusted\n", "machine.ini:2: "},
      {"[Signatures]\nD:\\x.exe=valid\n", "machine.ini:2: "},
  };
  for (const auto& [text, where] : cases) {
    TempMachine m;
    m.Ini(text);
    const std::string error = m.Load();
    EXPECT_NE(error.find(m.dir() + "/" + where), std::string::npos) << text << " -> " << error;
  }
}

TEST(SimMachine, ProgramFolderMustExist) {
  TempMachine m;
  m.Ini("[System]\nProgramPath=C:\\Nowhere\\a.exe\n");
  EXPECT_NE(m.Load().find("ProgramPath"), std::string::npos);
  m.Mkdir("drive_c/NOWHERE");  // found without regard to case
  EXPECT_EQ(m.Load(), "");
  EXPECT_NE(sim::LoadMachine(m.dir() + "/missing").find("does not exist"), std::string::npos);
}

TEST(SimMachine, StartupReadsTheEnvironment) {
  TempMachine m;
  char arg0[] = "avdefupdate", arg1[] = " force ", arg2[] = "x";
  char* argv[] = {arg0, arg1, arg2, nullptr};
  std::string error;

  ::unsetenv("AVDEFUPDATE_MACHINE");
  EXPECT_FALSE(os::Startup(3, argv, &error));
  EXPECT_NE(error.find("AVDEFUPDATE_MACHINE"), std::string::npos);

  ::setenv("AVDEFUPDATE_MACHINE", (m.dir() + "/absent").c_str(), 1);
  EXPECT_FALSE(os::Startup(3, argv, &error));
  EXPECT_NE(error.find("absent"), std::string::npos);

  ::setenv("AVDEFUPDATE_MACHINE", m.dir().c_str(), 1);
  ::setenv("AVDEFUPDATE_CLOCK", "2024-02-29 12:00:00", 1);
  error.clear();
  EXPECT_TRUE(os::Startup(3, argv, &error)) << error;
  EXPECT_EQ(os::GetCommandLineArgs(), " force  x");
  EXPECT_EQ(os::Now().year, 2024);
  EXPECT_EQ(os::Now().day, 29);

  ::setenv("AVDEFUPDATE_CLOCK", "tomorrow", 1);
  EXPECT_FALSE(os::Startup(1, argv, &error));
  EXPECT_NE(error.find("AVDEFUPDATE_CLOCK"), std::string::npos);

  ::unsetenv("AVDEFUPDATE_CLOCK");
  ::unsetenv("AVDEFUPDATE_MACHINE");
  // Nothing was written into the machine folder.
  EXPECT_FALSE(std::filesystem::exists(m.dir() + "/registry.reg"));
}

TEST(SimMachine, ClockCrossesMonthAndYearEnds) {
  struct Case {
    const char* start;
    uint64_t advanceMs;
    std::vector<int> expected;  // y m d h mi s ms
  };
  const Case cases[] = {
      {"2026-12-31 23:59:59", 1500, {2027, 1, 1, 0, 0, 0, 500}},
      {"2024-02-28 23:00:00", 3600000, {2024, 2, 29, 0, 0, 0, 0}},
      {"2023-02-28 23:00:00", 3600000, {2023, 3, 1, 0, 0, 0, 0}},
      {"2100-02-28 12:00:00", 86400000, {2100, 3, 1, 12, 0, 0, 0}},
      {"2000-02-28 12:00:00", 86400000, {2000, 2, 29, 12, 0, 0, 0}},
      {"2026-04-30 23:59:00", 60000, {2026, 5, 1, 0, 0, 0, 0}},
      {"2026-01-01 00:00:00", 90ull * 86400000 + 7, {2026, 4, 1, 0, 0, 0, 7}},
  };
  for (const Case& c : cases) {
    TempMachine m;
    m.Ini(std::string("[Clock]\nStart=") + c.start + "\n");
    ASSERT_EQ(m.Load(), "");
    uint64_t left = c.advanceMs;
    while (left > 0) {
      const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(left, 0x7FFFFFFF));
      os::Sleep(step);
      left -= step;
    }
    const os::LocalTime t = os::Now();
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond}),
              c.expected)
        << c.start;
  }
}

TEST(SimMachine, FormatMessageTexts) {
  TempMachine m;
  ASSERT_EQ(m.Load(), "");
  std::string text;
  EXPECT_TRUE(os::FormatMessage(5, false, &text));
  EXPECT_EQ(text, "Access is denied.\r\n");
  EXPECT_TRUE(os::FormatMessage(258, false, &text));
  EXPECT_EQ(text, "The wait operation timed out.\r\n");
  EXPECT_TRUE(os::FormatMessage(12029, true, &text));
  EXPECT_EQ(text, "A connection with the server could not be established\r\n");
  EXPECT_TRUE(os::FormatMessage(2, true, &text));  // falls back to the system table
  EXPECT_FALSE(os::FormatMessage(12029, false, &text));
  EXPECT_FALSE(os::FormatMessage(987654, true, &text));
}

TEST(SimMachine, InstanceLockIsTheMachineFolder) {
  TempMachine m;
  ASSERT_EQ(m.Load(), "");
  // Another process holding the folder's lock (simulated by a second open file description).
  const int other = ::open(m.dir().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(os::AcquireSingleInstance());
  ::close(other);
  EXPECT_TRUE(os::AcquireSingleInstance());
  EXPECT_TRUE(os::AcquireSingleInstance());  // held already
  const int again = ::open(m.dir().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_NE(::flock(again, LOCK_EX | LOCK_NB), 0);
  ::close(again);
  EXPECT_EQ(sim::InstanceLockPath(), m.dir());
  // A new load releases it.
  TempMachine other2;
  ASSERT_EQ(other2.Load(), "");
  const int free = ::open(m.dir().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(::flock(free, LOCK_EX | LOCK_NB), 0);
  ::close(free);
}

}  // namespace
