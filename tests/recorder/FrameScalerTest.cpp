#include "recorder/FrameScaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The area average written plainly: every source pixel weighed by the part
// of it the destination pixel covers.
int Reference(const std::vector<uint8_t>& from, int fw, int fh, int tw, int th, int x, int y, int c) {
  const double x0 = double(x) * fw / tw, x1 = double(x + 1) * fw / tw, y0 = double(y) * fh / th, y1 = double(y + 1) * fh / th;
  auto part = [](double a, double b, int i) { return std::max(0.0, std::min(b, i + 1.0) - std::max(a, double(i))); };
  double sum = 0;
  for (int sy = 0; sy < fh; ++sy) {
    for (int sx = 0; sx < fw; ++sx) sum += part(x0, x1, sx) * part(y0, y1, sy) * from[(size_t(sy) * fw + sx) * 4 + c];
  }
  return int(std::lround(sum / ((x1 - x0) * (y1 - y0))));
}

// Within 1 per channel of the plain average on noise; a frame of one colour
// (white in one channel) stays exactly that colour.
TEST(FrameScaler, AreaAverageOfAnySizes) {
  const int cases[][4] = {{8, 6, 4, 3},     {12, 9, 4, 3},   {64, 36, 48, 27},  // 2:1, 3:1, 2560x1440 to 1080p
                          {61, 37, 17, 11}, {30, 20, 30, 7}, {30, 20, 13, 20},  // no whole ratio; a side unchanged
                          {1, 9, 1, 4},     {9, 1, 4, 1},    {17, 13, 1, 1}};
  for (const auto& c : cases) {
    const int fw = c[0], fh = c[1], tw = c[2], th = c[3];
    SCOPED_TRACE(testing::Message() << fw << "x" << fh << " to " << tw << "x" << th);
    std::vector<uint8_t> from(size_t(fw) * fh * 4), to(size_t(tw) * th * 4);
    for (size_t i = 0; i < from.size(); ++i) from[i] = uint8_t(i * 2654435761u >> 13);
    FrameScaler scaler(fw, fh, tw, th);
    scaler.Scale(from.data(), to.data());
    for (size_t i = 0; i < to.size(); ++i) {
      const int x = int(i / 4 % tw), y = int(i / 4 / tw);
      ASSERT_NEAR(to[i], Reference(from, fw, fh, tw, th, x, y, int(i % 4)), 1) << x << "," << y;
    }
    for (size_t i = 0; i < from.size(); ++i) from[i] = uint8_t(0xff - 0x50 * (i % 4));
    scaler.Scale(from.data(), to.data());
    for (size_t i = 0; i < to.size(); ++i) ASSERT_EQ(to[i], from[i % 4]) << "byte " << i;
  }
}

}  // namespace
