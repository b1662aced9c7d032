#include "recorder/VideoFormat.h"

#include <algorithm>

namespace {
int32_t EvenAtLeast16(int32_t side) { return std::max<int32_t>(side, 16) & ~int32_t{1}; }

// num / den to the nearest even number, never past `limit` rounded down to even.
int64_t NearestEven(int64_t num, int64_t den, int64_t limit) {
  return std::min((num + den) / (2 * den) * 2, limit & ~int64_t{1});
}
}  // namespace

uint32_t SupportedFrameRate(uint32_t asked) { return asked == 60 ? 60 : kDefaultFramesPerSecond; }

int64_t VideoFrameDuration(uint32_t framesPerSecond) {
  const int64_t fps = framesPerSecond ? framesPerSecond : kDefaultFramesPerSecond;
  return (10000000 + fps / 2) / fps;
}

uint64_t MaxVideoBacklogFrames(uint32_t framesPerSecond, uint32_t frameBytes) {
  constexpr uint64_t kMostBytes = uint64_t{1} << 30;
  const uint64_t fit = frameBytes ? kMostBytes / frameBytes : framesPerSecond;
  return std::max<uint64_t>(1, std::min<uint64_t>(framesPerSecond, fit));
}

uint32_t KeyFrameInterval(uint32_t framesPerSecond) { return 2 * framesPerSecond; }

CaptureRegion ApplySizeRules(CaptureRegion region) {
  region.width = EvenAtLeast16(region.width);
  region.height = EvenAtLeast16(region.height);
  return region;
}

VideoSize ScaledVideoSize(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight) {
  const int64_t w = width, h = height;
  const int64_t limitW = maxWidth > 0 ? maxWidth : w, limitH = maxHeight > 0 ? maxHeight : h;
  if (w <= limitW && h <= limitH) return {width, height};
  // The side that meets its limit first takes it; the other follows the shape.
  int64_t outW = limitW & ~int64_t{1}, outH = limitH & ~int64_t{1};
  if (limitW * h <= limitH * w) {
    outH = NearestEven(h * limitW, w, limitH);
  } else {
    outW = NearestEven(w * limitH, h, limitW);
  }
  return {EvenAtLeast16(static_cast<int32_t>(outW)), EvenAtLeast16(static_cast<int32_t>(outH))};
}

uint32_t VideoBitRate(int32_t width, int32_t height, uint32_t framesPerSecond) {
  double scaled = static_cast<double>(width) * static_cast<double>(height) / 2073600.0 * 8000000.0;
  // Twice the frames take half as much again, not twice as much: the frames
  // of a screen differ less from one to the next at 60, and the encoder
  // spends its bits on what differs. Nothing is added at 30.
  scaled += scaled * (static_cast<double>(framesPerSecond) - 30.0) / 60.0;
  if (scaled < 4000000.0) return 4000000;
  if (scaled > 50000000.0) return 50000000;
  return static_cast<uint32_t>(scaled);
}

uint32_t FrameBufferBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u;
  return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}
