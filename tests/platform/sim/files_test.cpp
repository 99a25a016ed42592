#include <gtest/gtest.h>

#include "platform/os.h"
#include "tests/platform/sim/sim_fixture.h"

namespace {

using simtest::TempMachine;

TEST(SimFiles, PathsResolveWithoutCase) {
  TempMachine m;
  m.Write("drive_c/Data/Sub Dir/File.TXT", "abc");
  ASSERT_EQ(m.Load(), "");
  EXPECT_TRUE(os::FileExists("C:\\Data\\Sub Dir\\File.TXT"));
  EXPECT_TRUE(os::FileExists("c:\\DATA\\sub dir\\file.txt"));
  EXPECT_TRUE(os::FileExists("C:/data/SUB DIR/file.txt"));
  EXPECT_TRUE(os::FileExists("C:\\Data\\.\\Other\\..\\Sub Dir\\\\File.TXT"));
  EXPECT_TRUE(os::FolderExists("C:\\data\\sub dir\\"));
  EXPECT_TRUE(os::FolderExists("C:\\"));
  EXPECT_FALSE(os::FolderExists("C:\\Data\\Sub Dir\\File.TXT"));
  EXPECT_FALSE(os::FileExists("D:\\Data\\Sub Dir\\File.TXT"));
  EXPECT_FALSE(os::FileExists("Data\\Sub Dir\\File.TXT"));
  EXPECT_EQ(sim::HostPath("C:\\DATA\\SUB DIR\\FILE.txt"), m.dir() + "/drive_c/Data/Sub Dir/File.TXT");
  // New components keep the case they are given.
  EXPECT_EQ(sim::HostPath("C:\\data\\New\\x.Log"), m.dir() + "/drive_c/Data/New/x.Log");
  EXPECT_EQ(sim::HostPath("E:\\x"), "");

  std::string bytes;
  EXPECT_EQ(os::ReadWholeFile("C:\\DATA\\SUB DIR\\FILE.TXT", &bytes), 0);
  EXPECT_EQ(bytes, "abc");
  EXPECT_EQ(os::ReadWholeFile("C:\\Data\\missing.txt", &bytes), os::kErrorFileNotFound);
  EXPECT_EQ(os::ReadWholeFile("C:\\Missing\\missing.txt", &bytes), os::kErrorPathNotFound);
  EXPECT_EQ(os::ReadWholeFile("D:\\x.txt", &bytes), os::kErrorPathNotFound);
  EXPECT_EQ(os::ReadWholeFile("relative.txt", &bytes), os::kErrorPathNotFound);
  uint64_t size = 0;
  EXPECT_EQ(os::GetFileSize("C:\\data\\sub dir\\file.txt", &size), 0);
  EXPECT_EQ(size, 3u);
}

TEST(SimFiles, WriteCopyMoveDelete) {
  TempMachine m;
  m.Mkdir("drive_c/Work");
  ASSERT_EQ(m.Load(), "");
  EXPECT_EQ(os::WriteWholeFile("C:\\work\\a.txt", "one"), 0);
  EXPECT_EQ(m.Read("drive_c/Work/a.txt"), "one");
  EXPECT_EQ(os::WriteWholeFile("C:\\WORK\\A.TXT", "two"), 0);  // replaces the same file
  EXPECT_EQ(m.Read("drive_c/Work/a.txt"), "two");
  EXPECT_EQ(os::WriteWholeFile("C:\\Nope\\a.txt", "x"), os::kErrorPathNotFound);
  EXPECT_EQ(os::WriteWholeFile("C:\\Work", "x"), os::kErrorAccessDenied);

  EXPECT_EQ(os::CopyFile("C:\\Work\\a.txt", "C:\\Work\\b.txt", true), 0);
  EXPECT_EQ(os::CopyFile("C:\\Work\\a.txt", "C:\\Work\\B.TXT", true), os::kErrorFileExists);
  EXPECT_EQ(os::CopyFile("C:\\Work\\a.txt", "C:\\Work\\B.TXT", false), 0);
  EXPECT_EQ(os::CopyFile("C:\\Work\\zz.txt", "C:\\Work\\c.txt", false), os::kErrorFileNotFound);
  EXPECT_EQ(os::CopyFile("C:\\Work\\a.txt", "C:\\None\\c.txt", false), os::kErrorPathNotFound);

  EXPECT_EQ(os::MoveFile("C:\\Work\\b.txt", "C:\\Work\\a.txt"), 183);
  EXPECT_EQ(os::MoveFile("C:\\Work\\b.txt", "C:\\Work\\c.txt"), 0);
  EXPECT_FALSE(os::FileExists("C:\\Work\\b.txt"));
  EXPECT_TRUE(os::FileExists("C:\\Work\\c.txt"));

  EXPECT_EQ(os::CreateDirectory("C:\\Work\\Sub"), 0);
  EXPECT_EQ(os::CreateDirectory("C:\\work\\sub"), 183);
  EXPECT_EQ(os::CreateDirectory("C:\\Work\\X\\Y"), os::kErrorPathNotFound);

  EXPECT_EQ(os::SetFileAttributes("C:\\Work\\c.txt", os::kFileAttributeNormal), 0);
  EXPECT_EQ(os::SetFileAttributes("C:\\Work\\none.txt", os::kFileAttributeNormal), os::kErrorFileNotFound);

  EXPECT_EQ(os::DeleteFile("C:\\Work\\C.TXT"), 0);
  EXPECT_EQ(os::DeleteFile("C:\\Work\\c.txt"), os::kErrorFileNotFound);
  EXPECT_EQ(os::DeleteFile("C:\\Work\\Sub"), os::kErrorAccessDenied);

  m.Write("drive_c/Work/beta.dat", "");
  m.Write("drive_c/Work/Alpha.dat", "");
  std::vector<std::string> names;
  EXPECT_EQ(os::ListFiles("C:\\work", &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "Alpha.dat", "beta.dat"}));
  EXPECT_EQ(os::ListFiles("C:\\NoFolder", &names), os::kErrorPathNotFound);
}

TEST(SimFiles, HandlesVersionsShortPaths) {
  TempMachine m;
  m.Mkdir("drive_c/Logs");
  m.Write("drive_c/Vendor/tool.exe", "MZ");
  m.Ini("[FileVersions]\nC:\\VENDOR\\Tool.exe=1.2.3.4\nC:\\Vendor\\absent.exe=9.9.9.9\n");
  ASSERT_EQ(m.Load(), "");

  os::FileHandle file;
  EXPECT_EQ(os::OpenFile("C:\\Logs\\run.log", os::OpenMode::kAppendExisting, &file), os::kErrorFileNotFound);
  EXPECT_EQ(os::OpenFile("C:\\NoLogs\\run.log", os::OpenMode::kCreateAlways, &file), os::kErrorPathNotFound);
  EXPECT_EQ(os::OpenFile("C:\\Logs", os::OpenMode::kCreateAlways, &file), os::kErrorAccessDenied);
  m.Write("drive_c/Logs/run.log", "old");
  ASSERT_EQ(os::OpenFile("C:\\logs\\RUN.log", os::OpenMode::kAppendExisting, &file), 0);
  EXPECT_EQ(os::WriteFileHandle(file, "+1"), 0);
  EXPECT_EQ(m.Read("drive_c/Logs/run.log"), "old+1");  // written through at once
  ASSERT_EQ(os::OpenFile("C:\\logs\\run.log", os::OpenMode::kCreateAlways, &file), 0);
  EXPECT_EQ(m.Read("drive_c/Logs/run.log"), "");
  EXPECT_EQ(os::WriteFileHandle(file, "new"), 0);
  EXPECT_EQ(m.Read("drive_c/Logs/run.log"), "new");
  file.Close();
  EXPECT_EQ(os::WriteFileHandle(file, "x"), os::kErrorInvalidHandle);

  EXPECT_EQ(os::GetFileVersion("c:\\vendor\\tool.exe"), "1.2.3.4");
  EXPECT_EQ(os::GetFileVersion("C:\\Vendor\\absent.exe"), "");
  EXPECT_EQ(os::GetFileVersion("C:\\Logs\\run.log"), "");
  EXPECT_EQ(os::GetFileVersion(os::GetModuleFileName()), AVDEF_FILE_VERSION);

  std::string shortPath = "untouched";
  EXPECT_EQ(os::GetShortPathName("C:\\Vendor\\tool.exe", 5, &shortPath), 19u);
  EXPECT_EQ(shortPath, "untouched");
  EXPECT_EQ(os::GetShortPathName("C:\\Vendor\\tool.exe", 19, &shortPath), 18u);
  EXPECT_EQ(shortPath, "C:\\Vendor\\tool.exe");
  EXPECT_EQ(os::GetShortPathName("C:\\Vendor\\none.exe", 260, &shortPath), 0u);
}

TEST(SimIni, GetPrivateProfileStringCases) {
  TempMachine m;
  m.Write("drive_c/cfg.ini",
          "[Download]\r\n"
          "  AVDownload = http://x/y  \r\n"
          "Quoted=\"  spaced  \"\r\n"
          "Single='one'\r\n"
          "Half=\"open\r\n"
          "Empty=\r\n"
          "[ Proxy Settings ]\r\n"
          "Host=proxy\r\n"
          "[download]\r\n"
          "Later=ignored\r\n");
  ASSERT_EQ(m.Load(), "");
  struct Case {
    const char* section;
    const char* key;
    const char* def;
    uint32_t size;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"Download", "AVDownload", "", 200, "C:\\cfg.ini", "http://x/y"},
      {"DOWNLOAD", "avdownload", "", 200, "C:\\CFG.INI", "http://x/y"},
      {"Download", "Quoted", "", 200, "C:\\cfg.ini", "  spaced  "},
      {"Download", "Single", "", 200, "C:\\cfg.ini", "one"},
      {"Download", "Half", "", 200, "C:\\cfg.ini", "\"open"},
      {"Download", "Empty", "dflt", 200, "C:\\cfg.ini", ""},
      {"Download", "Missing", "dflt  ", 200, "C:\\cfg.ini", "dflt"},
      {"Download", "Later", "dflt", 200, "C:\\cfg.ini", "dflt"},
      {"Proxy Settings", "host", "", 200, "C:\\cfg.ini", "proxy"},
      {"Nope", "Host", "d", 200, "C:\\cfg.ini", "d"},
      {"Download", "AVDownload", "d", 200, "C:\\missing.ini", "d"},
      {"Download", "AVDownload", "", 5, "C:\\cfg.ini", "http"},
      {"Download", "AVDownload", "", 1, "C:\\cfg.ini", ""},
      {"Download", "Missing", "default", 4, "C:\\cfg.ini", "def"},
  };
  for (const Case& c : cases) {
    std::string out = "junk";
    const uint32_t n = os::GetPrivateProfileString(c.section, c.key, c.def, c.size, c.path, &out);
    EXPECT_EQ(out, c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(n, out.size()) << c.section << "/" << c.key;
  }
}

TEST(SimIni, WritePrivateProfileStringCases) {
  TempMachine m;
  ASSERT_EQ(m.Load(), "");
  EXPECT_FALSE(os::WritePrivateProfileString("S", "k", "v", "C:\\NoFolder\\x.ini"));
  EXPECT_TRUE(os::WritePrivateProfileString("LastRunDateTime", "LastRun", "12/07/2026", "C:\\state.ini"));
  EXPECT_EQ(m.Read("drive_c/state.ini"), "[LastRunDateTime]\r\nLastRun=12/07/2026\r\n");
  EXPECT_TRUE(os::WritePrivateProfileString("Other", "A", "1", "C:\\STATE.INI"));
  EXPECT_TRUE(os::WritePrivateProfileString("lastrundatetime", "Count", "2", "C:\\state.ini"));
  EXPECT_TRUE(os::WritePrivateProfileString("LastRunDateTime", "lastrun", "12/08/2026", "C:\\state.ini"));
  EXPECT_EQ(m.Read("drive_c/state.ini"),
            "[LastRunDateTime]\r\nlastrun=12/08/2026\r\nCount=2\r\n[Other]\r\nA=1\r\n");

  // A missing key goes after the section's last entry, before blank lines.
  m.Write("drive_c/blank.ini", "[A]\nx=1\n\n[B]\ny=2");
  EXPECT_TRUE(os::WritePrivateProfileString("A", "z", "3", "C:\\blank.ini"));
  EXPECT_EQ(m.Read("drive_c/blank.ini"), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
  std::string out;
  EXPECT_EQ(os::GetPrivateProfileString("a", "Z", "", 10, "C:\\blank.ini", &out), 1u);
  EXPECT_EQ(out, "3");
}

}  // namespace
