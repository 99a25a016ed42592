// Files: folder listings, short paths, append mode, replacing moves.
#include <algorithm>

#include "tests/conformance/conformance.h"

namespace conformance {
namespace {

using FilesConformance = ConformanceTest;

// A listing in a fixed order: Windows promises none (NTFS happens to sort,
// Wine lists in the host file system's order).
std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesConformance, ListingsNameFilesAndFoldersApart) {
  for (const char* name : {"b.txt", "A.txt", "c.TXT", "noext", "two.dots.log"}) WriteFile(Scratch(name), name);
  ASSERT_EQ(os::CreateDirectory(Scratch("sub")), 0);
  ASSERT_EQ(os::CreateDirectory(Scratch("empty")), 0);
  WriteFile(Scratch("sub\\inner.txt"), "x");

  const std::vector<std::string> files{"A.txt", "b.txt", "c.TXT", "noext", "two.dots.log"};
  const std::vector<std::string> folders{"empty", "sub"};
  for (const std::string& folder : {folder(), folder() + "\\"}) {
    std::vector<std::string> names{"stale"};
    ASSERT_EQ(os::ListFiles(folder, &names), 0) << folder;
    EXPECT_EQ(Sorted(names), files) << folder;
    ASSERT_EQ(os::ListFolders(folder, &names), 0) << folder;
    EXPECT_EQ(Sorted(names), folders) << folder;  // never "." or ".."
  }
  std::vector<std::string> names{"stale"};
  ASSERT_EQ(os::ListFiles(Scratch("EMPTY"), &names), 0);
  EXPECT_TRUE(names.empty());
  ASSERT_EQ(os::ListFolders(Scratch("Sub"), &names), 0);
  EXPECT_TRUE(names.empty());
}

TEST_F(FilesConformance, ListingWhatIsNoFolderFails) {
  WriteFile(Scratch("file.txt"), "x");
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(os::ListFiles(Scratch("missing"), &names), os::kErrorPathNotFound);
  EXPECT_EQ(os::ListFiles(Scratch("missing\\deeper"), &names), os::kErrorPathNotFound);
  // FindFirstFile("file.txt\*"): Windows gives ERROR_DIRECTORY (267, the
  // directory name is invalid); Wine gives ERROR_INVALID_NAME (123).
  EXPECT_EQ(os::ListFiles(Scratch("file.txt"), &names), (PerBackend<long>{267, 123, 267}.Get()));
  EXPECT_EQ(names, std::vector<std::string>{"stale"});
}

TEST_F(FilesConformance, ShortPathsNameTheSameFile) {
  ASSERT_EQ(os::CreateDirectory(Scratch("Long Folder Name")), 0);
  const std::string path = Scratch("Long Folder Name\\long file name.text");
  WriteFile(path, "content");

  std::string shortPath = "untouched";
  const uint32_t length = os::GetShortPathName(path, 260, &shortPath);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, shortPath.size());
  EXPECT_EQ(ReadFile(shortPath), "content");
  switch (CurrentBackend()) {
    case Backend::kSim:
      // The sim has no 8.3 names: the short form of a path is the path.
      EXPECT_EQ(shortPath, path);
      break;
    case Backend::kWine:
      // Wine makes an 8.3 alias of every long name, "LONG~ZAT" (a hash, not
      // Windows' "LONGFO~1").
      EXPECT_NE(shortPath, path);
      for (const std::string& name : {std::string("\\avdef-conformance"), std::string("\\long file name.text")}) {
        EXPECT_EQ(shortPath.find(name), std::string::npos) << shortPath;
      }
      EXPECT_NE(shortPath.find('~', shortPath.rfind('\\')), std::string::npos) << shortPath;
      EXPECT_LE(shortPath.size() - shortPath.rfind('\\') - 1, 12u) << shortPath;
      break;
    case Backend::kWindows:
      // Either, depending on whether the volume makes 8.3 names.
      break;
  }

  // Too small a buffer: the size needed with the NUL, and no path.
  std::string out = "untouched";
  EXPECT_EQ(os::GetShortPathName(path, length, &out), length + 1);
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(os::GetShortPathName(path, length + 1, &out), length);
  EXPECT_EQ(out, shortPath);

  // A path already in short form comes back as it was given.
  const std::string system = os::GetSystemDirectory();
  EXPECT_EQ(os::GetShortPathName(system, 260, &out), system.size());
  EXPECT_EQ(out, system);

  // A missing file or folder has no short form.
  out = "untouched";
  EXPECT_EQ(os::GetShortPathName(Scratch("missing.txt"), 260, &out), 0u);
  EXPECT_EQ(os::GetShortPathName(Scratch("missing\\file.txt"), 260, &out), 0u);
  EXPECT_EQ(out, "untouched");
}

TEST_F(FilesConformance, AppendModeWritesAtTheEnd) {
  const std::string path = Scratch("log.txt");
  os::FileHandle missing;
  EXPECT_EQ(os::OpenFile(path, os::OpenMode::kAppendExisting, &missing), os::kErrorFileNotFound);
  EXPECT_EQ(os::OpenFile(Scratch("no\\log.txt"), os::OpenMode::kAppendExisting, &missing),
            os::kErrorPathNotFound);
  EXPECT_FALSE(missing.valid());

  WriteFile(path, "head\r\n");
  {
    os::FileHandle file;
    ASSERT_EQ(os::OpenFile(path, os::OpenMode::kAppendExisting, &file), 0);
    EXPECT_EQ(os::WriteFileHandle(file, "one\r\n"), 0);
    EXPECT_EQ(os::WriteFileHandle(file, ""), 0);
    // Readers see each write at once: nothing is held back.
    EXPECT_EQ(ReadFile(path), "head\r\none\r\n");

    // A second writer while the first holds the file: Windows (and Wine)
    // refuse it with 32, a sharing violation, since the file is shared for
    // reading only. The sim does not simulate sharing modes and lets it write.
    os::FileHandle second;
    EXPECT_EQ(os::OpenFile(path, os::OpenMode::kAppendExisting, &second),
              (PerBackend<long>{0, 32, 32}.Get()));
    EXPECT_EQ(os::WriteFileHandle(file, "two\r\n"), 0);
  }
  EXPECT_EQ(ReadFile(path), "head\r\none\r\ntwo\r\n");

  // Create-always starts the file over.
  os::FileHandle fresh;
  ASSERT_EQ(os::OpenFile(path, os::OpenMode::kCreateAlways, &fresh), 0);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(os::WriteFileHandle(fresh, "new"), 0);
  fresh.Close();
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(os::WriteFileHandle(fresh, "closed"), os::kErrorInvalidHandle);
}

TEST_F(FilesConformance, MoveFileExReplacesTheTarget) {
  const std::string from = Scratch("new.tmp"), to = Scratch("target.txt");
  WriteFile(from, "new content");
  WriteFile(to, "old content, longer");
  ASSERT_EQ(os::MoveFileEx(from, to), 0);
  EXPECT_FALSE(os::FileExists(from));
  EXPECT_EQ(ReadFile(to), "new content");

  // No target yet: a plain rename, in the case given.
  WriteFile(from, "again");
  ASSERT_EQ(os::MoveFileEx(from, Scratch("Created.TXT")), 0);
  EXPECT_EQ(ReadFile(Scratch("created.txt")), "again");

  // A change of case only: Windows renames the file to the new case; Wine
  // finds the target is the source and leaves the name as it was.
  ASSERT_EQ(os::MoveFileEx(Scratch("created.txt"), Scratch("CREATED.txt")), 0);
  std::vector<std::string> names;
  ASSERT_EQ(os::ListFiles(folder(), &names), 0);
  EXPECT_EQ(Sorted(names), (std::vector<std::string>{
                               PerBackend<std::string>{"CREATED.txt", "Created.TXT", "CREATED.txt"}.Get(),
                               "target.txt"}));

  // MoveFile, unlike MoveFileEx, refuses an existing target (ERROR_ALREADY_EXISTS).
  WriteFile(from, "kept");
  EXPECT_EQ(os::MoveFile(from, to), 183);
  EXPECT_EQ(ReadFile(from), "kept");
  EXPECT_EQ(ReadFile(to), "new content");
}

TEST_F(FilesConformance, MoveFileExFailuresLeaveBothFiles) {
  const std::string from = Scratch("source.txt");
  WriteFile(from, "source");
  ASSERT_EQ(os::CreateDirectory(Scratch("folder")), 0);
  struct Case {
    std::string from, to;
    long result;
  };
  const Case cases[] = {
      {Scratch("missing.txt"), Scratch("x.txt"), os::kErrorFileNotFound},
      {Scratch("missing\\a.txt"), Scratch("x.txt"), os::kErrorPathNotFound},
      {from, Scratch("missing\\x.txt"), os::kErrorPathNotFound},
      // A folder is never replaced by a file.
      {from, Scratch("folder"), os::kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os::MoveFileEx(c.from, c.to), c.result) << c.from << " -> " << c.to;
    EXPECT_EQ(ReadFile(from), "source");
    EXPECT_TRUE(os::FolderExists(Scratch("folder")));
    EXPECT_FALSE(os::FileExists(Scratch("x.txt")));
  }
}

}  // namespace
}  // namespace conformance
