#include "recorder/VideoFormat.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(VideoFormat, SizeRulesMakeSidesEvenAndAtLeast16) {
  struct Case {
    int32_t in, out;
  } cases[] = {{15, 16}, {16, 16}, {17, 16}, {1921, 1920}, {1081, 1080}, {0, 16},
               {-40, 16}, {INT32_MIN, 16}, {INT32_MAX, INT32_MAX - 1}, {9, 16}};
  for (const Case& c : cases) {
    const CaptureRegion r = ApplySizeRules({-7, 11, c.in, c.in});
    EXPECT_EQ(r.width, c.out) << c.in;
    EXPECT_EQ(r.height, c.out) << c.in;
    EXPECT_TRUE(r.left == -7 && r.top == 11) << "moved";
  }
}

TEST(VideoFormat, BitRateTable) {
  struct Case {
    int32_t w, h;
    uint32_t rate;
  } cases[] = {{16, 16, 4000000},        {1280, 720, 4000000},     {1366, 768, 4047407},
               {1920, 1080, 8000000},    {2560, 1440, 14222222},   {3840, 2160, 32000000},
               {5120, 2880, 50000000},   {16000, 16000, 50000000}, {1036, 1002, 4004907}};
  for (const Case& c : cases) EXPECT_EQ(VideoBitRate(c.w, c.h), c.rate) << c.w << "x" << c.h;
}

TEST(VideoFormat, FrameBufferBytes) {
  EXPECT_EQ(FrameBufferBytes(1920, 1080), 8294400u);
  EXPECT_EQ(FrameBufferBytes(32768, 32767), 4294836224u);
  // Too large for a 32-bit size: refused rather than wrapped to a small buffer.
  EXPECT_EQ(FrameBufferBytes(32768, 32768), 0u);
  EXPECT_EQ(FrameBufferBytes(INT32_MAX - 1, INT32_MAX - 1), 0u);
}

}  // namespace
