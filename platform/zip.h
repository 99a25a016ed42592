// A small zip reader: stored and deflated entries of a plain (non-zip64,
// unencrypted) archive. Every offset and length is checked against the
// archive's bytes, so a damaged archive gives an error, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zip {

struct Entry {
  std::string name;  // as stored, "/" separators
  uint16_t flags = 0;
  uint16_t method = 0;  // 0 stored, 8 deflate
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t size = 0;
  uint32_t localHeaderOffset = 0;
  bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

// The entries of the archive's central directory; false with a reason when
// the archive is not one this reader understands.
bool ReadDirectory(const std::string& archive, std::vector<Entry>* entries, std::string* why);

// The uncompressed bytes of one entry, checked against its size and CRC.
bool ReadEntry(const std::string& archive, const Entry& entry, std::string* bytes, std::string* why);

enum class Status {
  kOk,
  kCannotRead,   // the archive could not be read (osError)
  kBadArchive,   // malformed, unsupported, or an unsafe entry name (why)
  kCannotWrite,  // an entry could not be written (osError)
};
struct Result {
  Status status = Status::kOk;
  long osError = 0;
  std::string why;
};

// Unpacks every entry of the archive (Windows paths) into the folder,
// recreating the entries' subfolders and replacing files that exist.
Result UnzipToFolder(const std::string& archivePath, const std::string& folder);

}  // namespace zip
