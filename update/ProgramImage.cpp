#include "update/ProgramImage.h"

#include <algorithm>

namespace {

uint32_t Read16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Where the headers' section table is, and their security directory's entry
// (null when the optional header has none). False when the bytes are no
// program's headers, or do not fit in `size`.
struct Layout {
  uint64_t table = 0, sections = 0;
  const unsigned char* security = nullptr;
};
bool ReadLayout(const unsigned char* headers, size_t size, Layout& layout) {
  if (size < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return false;
  const uint64_t nt = Read32(headers + 0x3C);
  constexpr uint64_t kFileHeader = 20;
  if (nt + 4 + kFileHeader > size || Read32(headers + nt) != 0x00004550) return false;  // "PE\0\0"
  const unsigned char* file = headers + nt + 4;
  const uint64_t optionalSize = Read16(file + 16);
  const uint64_t optional = nt + 4 + kFileHeader;
  layout.sections = Read16(file + 2);
  layout.table = optional + optionalSize;
  if (layout.table + layout.sections * 40 > size || optionalSize < 2) return false;
  const uint32_t magic = Read16(headers + optional);
  const uint64_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
  if (directories == 0 || optionalSize < directories) return false;
  // The security directory is the fifth.
  const uint64_t count = Read32(headers + optional + directories - 4);
  if (count > 4 && optionalSize >= directories + 5 * 8) layout.security = headers + optional + directories + 4 * 8;
  return true;
}

}  // namespace

uint64_t ProgramImageEnd(const unsigned char* headers, size_t size) {
  Layout layout;
  if (!ReadLayout(headers, size, layout)) return 0;
  uint64_t end = layout.table + layout.sections * 40;
  for (uint64_t i = 0; i < layout.sections; ++i) {
    const unsigned char* section = headers + layout.table + i * 40;
    const uint64_t rawSize = Read32(section + 16), rawOffset = Read32(section + 20);
    if (rawSize != 0) end = std::max(end, rawOffset + rawSize);
  }
  // The signature is addressed by file offset and sits past the sections.
  if (layout.security && Read32(layout.security + 4) != 0) {
    end = std::max(end, uint64_t{Read32(layout.security)} + Read32(layout.security + 4));
  }
  return end;
}

bool HasNoCertificateTable(const unsigned char* headers, size_t size) {
  Layout layout;
  return ReadLayout(headers, size, layout) && (!layout.security || Read32(layout.security + 4) == 0);
}
