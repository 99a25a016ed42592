// Builds zip archives in memory for the unzip tests (zlib raw deflate).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ziptest {

struct Item {
  std::string name;
  std::string data;
  bool deflate = true;
};

inline void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

inline std::string RawDeflate(const std::string& data) {
  z_stream s{};
  if (deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline std::string Build(const std::vector<Item>& items) {
  std::string archive, directory;
  for (const Item& item : items) {
    const std::string packed = item.deflate ? RawDeflate(item.data) : item.data;
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size())));
    const uint32_t method = item.deflate ? 8 : 0;
    const uint32_t offset = static_cast<uint32_t>(archive.size());

    Put32(&archive, 0x04034b50);
    Put16(&archive, 20);
    Put16(&archive, 0);  // flags
    Put16(&archive, method);
    Put32(&archive, 0);  // time, date
    Put32(&archive, crc);
    Put32(&archive, static_cast<uint32_t>(packed.size()));
    Put32(&archive, static_cast<uint32_t>(item.data.size()));
    Put16(&archive, static_cast<uint32_t>(item.name.size()));
    Put16(&archive, 0);
    archive += item.name;
    archive += packed;

    Put32(&directory, 0x02014b50);
    Put16(&directory, 20);
    Put16(&directory, 20);
    Put16(&directory, 0);
    Put16(&directory, method);
    Put32(&directory, 0);
    Put32(&directory, crc);
    Put32(&directory, static_cast<uint32_t>(packed.size()));
    Put32(&directory, static_cast<uint32_t>(item.data.size()));
    Put16(&directory, static_cast<uint32_t>(item.name.size()));
    Put16(&directory, 0);  // extra
    Put16(&directory, 0);  // comment
    Put16(&directory, 0);  // disk
    Put16(&directory, 0);  // internal attributes
    Put32(&directory, 0);  // external attributes
    Put32(&directory, offset);
    directory += item.name;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
  archive += directory;
  Put32(&archive, 0x06054b50);
  Put16(&archive, 0);
  Put16(&archive, 0);
  Put16(&archive, static_cast<uint32_t>(items.size()));
  Put16(&archive, static_cast<uint32_t>(items.size()));
  Put32(&archive, static_cast<uint32_t>(directory.size()));
  Put32(&archive, directoryOffset);
  Put16(&archive, 0);
  return archive;
}

}  // namespace ziptest
