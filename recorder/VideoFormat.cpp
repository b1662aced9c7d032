#include "recorder/VideoFormat.h"

#include <algorithm>

namespace {
int32_t EvenAtLeast16(int32_t side) { return std::max<int32_t>(side, 16) & ~int32_t{1}; }
}  // namespace

CaptureRegion ApplySizeRules(CaptureRegion region) {
  region.width = EvenAtLeast16(region.width);
  region.height = EvenAtLeast16(region.height);
  return region;
}

uint32_t VideoBitRate(int32_t width, int32_t height) {
  const double scaled = static_cast<double>(width) * static_cast<double>(height) / 2073600.0 * 8000000.0;
  if (scaled < 4000000.0) return 4000000;
  if (scaled > 50000000.0) return 50000000;
  return static_cast<uint32_t>(scaled);
}

uint32_t FrameBufferBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u;
  return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}
