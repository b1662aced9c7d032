#include "update/ProgramImage.h"

#include <algorithm>

namespace {

uint32_t Read16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint64_t ProgramImageEnd(const unsigned char* headers, size_t size) {
  if (size < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return 0;
  const uint64_t nt = Read32(headers + 0x3C);
  constexpr uint64_t kFileHeader = 20;
  if (nt + 4 + kFileHeader > size || Read32(headers + nt) != 0x00004550) return 0;  // "PE\0\0"
  const unsigned char* file = headers + nt + 4;
  const uint64_t sections = Read16(file + 2), optionalSize = Read16(file + 16);
  const uint64_t optional = nt + 4 + kFileHeader;
  const uint64_t table = optional + optionalSize;
  if (table + sections * 40 > size || optionalSize < 2) return 0;

  uint64_t end = table + sections * 40;
  for (uint64_t i = 0; i < sections; ++i) {
    const unsigned char* section = headers + table + i * 40;
    const uint64_t rawSize = Read32(section + 16), rawOffset = Read32(section + 20);
    if (rawSize != 0) end = std::max(end, rawOffset + rawSize);
  }
  // The signature (the security directory, the fifth) is addressed by file
  // offset and sits past the sections.
  const uint32_t magic = Read16(headers + optional);
  const uint64_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
  if (directories == 0 || optionalSize < directories) return 0;
  const uint64_t count = Read32(headers + optional + directories - 4);
  if (count > 4 && optionalSize >= directories + 5 * 8) {
    const unsigned char* security = headers + optional + directories + 4 * 8;
    if (Read32(security + 4) != 0) end = std::max(end, uint64_t{Read32(security)} + Read32(security + 4));
  }
  return end;
}
