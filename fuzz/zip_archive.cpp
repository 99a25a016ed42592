// Downloaded archives: the zip reader, and unpacking into a folder, which
// must never write outside it whatever the entry names say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/zip.h"

namespace {

std::set<std::string> FilesOutside(const std::filesystem::path& driveC, const std::filesystem::path& inside) {
  std::set<std::string> files;
  for (auto it = std::filesystem::recursive_directory_iterator(driveC);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    if (it->path() == inside) {
      it.disable_recursion_pending();
      continue;
    }
    files.insert(it->path().string());
  }
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Machine machine;
  const std::string archive(reinterpret_cast<const char*>(data), size);
  std::vector<zip::Entry> entries;
  std::string why;
  if (zip::ReadDirectory(archive, &entries, &why)) {
    for (const zip::Entry& e : entries) {
      std::string bytes;
      if (zip::ReadEntry(archive, e, &bytes, &why) && bytes.size() != e.size) std::abort();
    }
  }

  machine.Remove("drive_c/Unpack");
  machine.Host("drive_c/Unpack/Here/archive.zip", archive);
  RunContext rc;
  machine.Start(rc);
  const std::filesystem::path driveC = std::filesystem::path(machine.dir()) / "drive_c";
  const std::filesystem::path here = driveC / "Unpack" / "Here";
  const std::set<std::string> before = FilesOutside(driveC, here);
  (void)zip::UnzipToFolder("C:\\Unpack\\Here\\archive.zip", "C:\\Unpack\\Here");
  if (FilesOutside(driveC, here) != before) std::abort();  // an entry escaped its folder
  return 0;
}
