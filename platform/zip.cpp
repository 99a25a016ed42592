#include "platform/zip.h"

#include "platform/filewrite.h"

#include <zlib.h>

#include <algorithm>

#include "platform/os.h"

namespace zip {

namespace {

constexpr uint32_t kEndOfDirectorySig = 0x06054b50;
constexpr uint32_t kDirectoryEntrySig = 0x02014b50;
constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxCommentSize = 0xFFFF;

// Little-endian reads that refuse to leave the archive.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  uint16_t U16(size_t at) const {
    return static_cast<uint16_t>(Byte(at) | (Byte(at + 1) << 8));
  }
  uint32_t U32(size_t at) const {
    return static_cast<uint32_t>(U16(at)) | (static_cast<uint32_t>(U16(at + 2)) << 16);
  }

 private:
  unsigned Byte(size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
  const std::string& bytes_;
};

bool Fail(std::string* why, const char* reason) {
  if (why != nullptr) *why = reason;
  return false;
}

bool Inflate(const std::string& archive, size_t offset, const Entry& entry, std::string* out,
             std::string* why) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return Fail(why, "inflate could not start");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + offset));
  stream.avail_in = entry.compressedSize;
  // Grow with the data actually produced, never by the size the entry claims.
  std::string result;
  constexpr size_t kChunk = 64 * 1024;
  int rc = Z_OK;
  while (rc == Z_OK) {
    const size_t used = result.size();
    if (used > entry.size) break;
    result.resize(used + kChunk);
    stream.next_out = reinterpret_cast<Bytef*>(result.data() + used);
    stream.avail_out = static_cast<uInt>(kChunk);
    rc = inflate(&stream, Z_NO_FLUSH);
    result.resize(used + (kChunk - stream.avail_out));
    if (rc == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) rc = Z_BUF_ERROR;
  }
  inflateEnd(&stream);
  if (rc != Z_STREAM_END) return Fail(why, "damaged deflate data");
  if (result.size() != entry.size) return Fail(why, "entry size does not match its data");
  *out = std::move(result);
  return true;
}

// Entry names become paths below the folder; anything that could leave it is refused.
bool SafeRelativePath(const std::string& name, std::string* path) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.find(':') != std::string::npos || name.find('\0') != std::string::npos) return false;
  std::string result;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      if (!result.empty()) result += '\\';
      result += part;
    }
    start = end + 1;
  }
  if (result.empty()) return false;
  *path = result;
  return true;
}

}  // namespace

bool ReadDirectory(const std::string& archive, std::vector<Entry>* entries, std::string* why) {
  Reader r(archive);
  if (archive.size() < kEndOfDirectorySize) return Fail(why, "too short for a zip archive");
  const size_t last = archive.size() - kEndOfDirectorySize;
  const size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
  size_t end = 0;
  bool foundEnd = false;
  for (size_t at = last + 1; at-- > first;) {
    if (r.U32(at) == kEndOfDirectorySig && at + kEndOfDirectorySize + r.U16(at + 20) == archive.size()) {
      end = at;
      foundEnd = true;
      break;
    }
  }
  if (!foundEnd) return Fail(why, "no end of central directory");
  if (r.U16(end + 4) != 0 || r.U16(end + 6) != 0) return Fail(why, "multi-disk archive");
  const uint16_t count = r.U16(end + 10);
  const uint32_t directorySize = r.U32(end + 12);
  const uint32_t directoryOffset = r.U32(end + 16);
  if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF)
    return Fail(why, "zip64 archive");
  if (!r.Has(directoryOffset, directorySize) || uint64_t{directoryOffset} + directorySize > end)
    return Fail(why, "central directory outside the archive");

  std::vector<Entry> result;
  size_t at = directoryOffset;
  const size_t directoryEnd = size_t{directoryOffset} + directorySize;
  for (uint16_t i = 0; i < count; ++i) {
    if (at + kDirectoryEntrySize > directoryEnd || r.U32(at) != kDirectoryEntrySig)
      return Fail(why, "damaged central directory");
    Entry e;
    e.flags = r.U16(at + 8);
    e.method = r.U16(at + 10);
    e.crc = r.U32(at + 16);
    e.compressedSize = r.U32(at + 20);
    e.size = r.U32(at + 24);
    const size_t nameLength = r.U16(at + 28);
    const size_t extraLength = r.U16(at + 30);
    const size_t commentLength = r.U16(at + 32);
    e.localHeaderOffset = r.U32(at + 42);
    const size_t next = at + kDirectoryEntrySize + nameLength + extraLength + commentLength;
    if (next > directoryEnd) return Fail(why, "damaged central directory");
    e.name = archive.substr(at + kDirectoryEntrySize, nameLength);
    result.push_back(std::move(e));
    at = next;
  }
  *entries = std::move(result);
  return true;
}

bool ReadEntry(const std::string& archive, const Entry& entry, std::string* bytes, std::string* why) {
  Reader r(archive);
  if (entry.flags & 0x0001) return Fail(why, "encrypted entry");
  const uint64_t header = entry.localHeaderOffset;
  if (!r.Has(header, kLocalHeaderSize) || r.U32(header) != kLocalHeaderSig)
    return Fail(why, "damaged local header");
  const uint64_t data = header + kLocalHeaderSize + r.U16(header + 26) + r.U16(header + 28);
  if (!r.Has(data, entry.compressedSize)) return Fail(why, "entry data outside the archive");

  std::string out;
  if (entry.method == 0) {
    if (entry.compressedSize != entry.size) return Fail(why, "stored entry sizes differ");
    out = archive.substr(data, entry.size);
  } else if (entry.method == 8) {
    if (!Inflate(archive, data, entry, &out, why)) return false;
  } else {
    return Fail(why, "unsupported compression method");
  }
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(out.data()),
                          static_cast<uInt>(out.size()));
  if (crc != entry.crc) return Fail(why, "CRC mismatch");
  *bytes = std::move(out);
  return true;
}

Result UnzipToFolder(const std::string& archivePath, const std::string& folder) {
  std::string archive;
  if (long err = os::ReadWholeFile(archivePath, &archive); err != 0)
    return {Status::kCannotRead, err, "cannot read the archive"};
  std::vector<Entry> entries;
  std::string why;
  if (!ReadDirectory(archive, &entries, &why)) return {Status::kBadArchive, 0, why};

  for (const Entry& entry : entries) {
    std::string relative;
    if (!SafeRelativePath(entry.name, &relative))
      return {Status::kBadArchive, 0, "unsafe entry name " + entry.name};
    // Parent folders first; an existing one reports an error that does not matter.
    for (size_t sep = relative.find('\\'); sep != std::string::npos; sep = relative.find('\\', sep + 1))
      (void)os::CreateDirectory(folder + "\\" + relative.substr(0, sep));
    const std::string target = folder + "\\" + relative;
    if (entry.IsFolder()) {
      (void)os::CreateDirectory(target);  // a folder that cannot be made fails the files written into it
      continue;
    }
    std::string bytes;
    if (!ReadEntry(archive, entry, &bytes, &why)) return {Status::kBadArchive, 0, why + ": " + entry.name};
    if (long err = ReplaceFileAtomically(target, bytes); err != 0)
      return {Status::kCannotWrite, err, "cannot write " + target};
  }
  return {};
}

}  // namespace zip
