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

TEST(VideoFormat, ScaledToFitKeepingTheShape) {
  const int32_t cases[][6] = {
      {3840, 2160, 1920, 1080, 1920, 1080}, {2560, 1600, 1920, 1080, 1728, 1080},
      {1366, 768, 1920, 1080, 1366, 768},   {1366, 768, 0, 0, 1366, 768},  // never up; 0 x 0: own size
      {1366, 768, 1280, 720, 1280, 720},    {1080, 1920, 1920, 1080, 608, 1080},  // 719.6 and 607.5 to even
      {3000, 1000, 1920, 0, 1920, 640},     {1000, 1001, 1280, 501, 500, 500},  // one side limited; an odd limit
      {7680, 40, 1920, 1080, 1920, 16},  // the 16 of the size rules
  };
  for (const auto& c : cases) {
    const VideoSize out = ScaledVideoSize(c[0], c[1], c[2], c[3]);
    EXPECT_EQ(out, (VideoSize{c[4], c[5]})) << c[0] << "x" << c[1] << " in " << c[2] << "x" << c[3] << ": "
                                             << out.width << "x" << out.height;
  }
}

TEST(VideoFormat, BitRateTable) {
  struct Case {
    int32_t w, h;
    uint32_t fps, rate;
  } cases[] = {{16, 16, 30, 4000000},        {1280, 720, 30, 4000000},     {1366, 768, 30, 4047407},
               {1920, 1080, 30, 8000000},    {2560, 1440, 30, 14222222},   {3840, 2160, 30, 32000000},
               {5120, 2880, 30, 50000000},   {16000, 16000, 30, 50000000}, {1036, 1002, 30, 4004907},
               {1920, 1080, 60, 12000000},   {1280, 720, 60, 5333333},     {3840, 2160, 60, 48000000},
               {1366, 768, 60, 6071111},     {4096, 2160, 60, 50000000}};
  for (const Case& c : cases) EXPECT_EQ(VideoBitRate(c.w, c.h, c.fps), c.rate) << c.w << "x" << c.h << "@" << c.fps;
}

TEST(VideoFormat, FrameBufferBytes) {
  EXPECT_EQ(FrameBufferBytes(1920, 1080), 8294400u);
  EXPECT_EQ(FrameBufferBytes(32768, 32767), 4294836224u);
  // Too large for a 32-bit size: refused rather than wrapped to a small buffer.
  EXPECT_EQ(FrameBufferBytes(32768, 32768), 0u);
  EXPECT_EQ(FrameBufferBytes(INT32_MAX - 1, INT32_MAX - 1), 0u);
  // The frames an encoder may hold: a second of them, at most 1 GiB, at least one.
  EXPECT_EQ(MaxVideoBacklogFrames(60, FrameBufferBytes(1920, 1080)), 60u);
  EXPECT_EQ(MaxVideoBacklogFrames(30, FrameBufferBytes(3840, 2160)), 30u);
  EXPECT_EQ(MaxVideoBacklogFrames(60, FrameBufferBytes(3840, 2160)), 32u);
  EXPECT_EQ(MaxVideoBacklogFrames(60, FrameBufferBytes(32768, 32767)), 1u);
}

}  // namespace
