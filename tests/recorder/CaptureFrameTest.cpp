// The cursor drawn into single frames over a window of one colour: its hot
// spot on the pointer, the edges of the rectangle, a hidden cursor. (Whole
// frames are compared with the screen end to end.)
#include <gtest/gtest.h>

#include "recorder/Recording.h"
#include "tests/support/ScreenFixtures.h"

namespace {

constexpr uint32_t kBlack = 0x000000, kWhite = 0xffffff, kBackground = SolidWindow::kColour;

class CaptureFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInOptions options;
    options.keepVideoFrames = true;
    writer_ = std::make_unique<StandInWriter>(options);
    ASSERT_EQ(writer_->Open(dir_.File(L"frames.mp4"), kRegion.width, kRegion.height), S_OK);
  }
  void TearDown() override { DestroyCursor(probe_); }

  // One frame with the pointer at (x, y) of the rectangle; the colour of
  // frame pixel (px, py), or -1 when no frame was written.
  int64_t PixelWithPointerAt(int x, int y, int px, int py) {
    SetCursorPos(kRegion.left + x, kRegion.top + y);
    window_.ShowCursorImage(probe_);
    CaptureFrame(grabber_, writer_->writer, ++time_);
    auto record = writer_->LastRecord();
    std::lock_guard<std::mutex> lock(record->lock);
    if (record->videoFrames.size() == taken_) return -1;
    ++taken_;
    return FramePixel(record->videoFrames.back(), kRegion.width, kRegion.height, px, py);
  }

  static constexpr CaptureRegion kRegion{350, 250, 100, 80};
  SolidWindow window_{300, 200, 400, 300};
  const HCURSOR probe_ = MakeProbeCursor();
  TempDir dir_;
  ScreenGrabber grabber_{kRegion};
  std::unique_ptr<StandInWriter> writer_;
  LONGLONG time_ = 0;
  size_t taken_ = 0;
};

// The probe cursor has a black pixel on its hot spot and a white one 6
// pixels up and left of it; it is drawn only while its hot spot lies in the
// rectangle, clipped at the rectangle's edges.
TEST_F(CaptureFrameTest, CursorIsDrawnWithItsHotSpotOnThePointer) {
  const int dx = kProbeWhiteX - kProbeHotX, dy = kProbeWhiteY - kProbeHotY, w = kRegion.width, h = kRegion.height;
  struct Case {
    int x, y;  // the pointer
    int px, py;
    uint32_t colour;
  } cases[] = {
      {40, 30, 40, 30, kBlack},           {40, 30, 40 + dx, 30 + dy, kWhite},
      {40, 30, 41, 30, kBackground},      // only the image's own pixels
      {w - 1, 30, w - 1, 30, kBlack},     {w - 1, 30, w - 1 + dx, 30 + dy, kWhite},
      {w, 30, w + dx, 30 + dy, kBackground},  // part of it would fit, but the hot spot is outside
      {30, h - 1, 30, h - 1, kBlack},     {30, h, 30 + dx, h + dy, kBackground},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PixelWithPointerAt(c.x, c.y, c.px, c.py), c.colour) << c.x << "," << c.y << " at " << c.px << "," << c.py;
  }
}

TEST_F(CaptureFrameTest, HiddenCursorIsLeftOut) {
  ShowCursor(FALSE);
  EXPECT_EQ(PixelWithPointerAt(40, 30, 40, 30), kBackground);
  ShowCursor(TRUE);
  EXPECT_EQ(PixelWithPointerAt(40, 30, 40, 30), kBlack);
}

// Scaled to half: the same screen, the cursor drawn before the scaling, its
// black hot spot averaged with the three pixels of the window beside it.
TEST_F(CaptureFrameTest, HalfSizeFrameShowsTheSameScreen) {
  const int w = kRegion.width / 2, h = kRegion.height / 2;
  ScreenGrabber half(kRegion, {w, h});
  SetCursorPos(kRegion.left + 40, kRegion.top + 30);
  window_.ShowCursorImage(probe_);
  std::vector<uint8_t> frame(FrameBufferBytes(w, h));
  ASSERT_TRUE(half.Grab(frame.data()));
  EXPECT_EQ(FramePixel(frame, w, h, 5, 5), kBackground);
  EXPECT_EQ(FramePixel(frame, w, h, 20, 15), 0x186090u);  // (0x2080c0 * 3 + black) / 4
}

}  // namespace
