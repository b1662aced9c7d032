// The cursor drawn into single frames over a window of known pixels: its hot
// spot, the edges of the rectangle, a hidden cursor. (Whole frames are
// compared with the screen end to end.)
#include <gtest/gtest.h>

#include "recorder/ScreenRecorder.h"
#include "tests/support/ScreenFixtures.h"

namespace {

constexpr int kWindowX = 300, kWindowY = 200, kWindowW = 400, kWindowH = 300;

// The engine set up for frames of one rectangle, writing into the stand-in.
class FrameGrab {
 public:
  explicit FrameGrab(CaptureRegion region) : engine_(KeepFrames()) {
    ScreenRecorder& r = *engine_.recorder;
    r.region = region;
    r.outputPath = dir_.File(L"frames.mp4");
    r.CreateCaptureResources();
    EXPECT_EQ(r.OpenWriter(), S_OK);
  }

  // Takes one frame and returns its bytes (empty when none was written).
  std::vector<uint8_t> Take(HRESULT* result = nullptr) {
    const HRESULT hr = engine_.recorder->CaptureFrame(++time_);
    if (result) *result = hr;
    auto record = engine_.LastRecord();
    std::lock_guard<std::mutex> lock(record->lock);
    if (record->videoFrames.size() == taken_) return {};
    ++taken_;
    return record->videoFrames.back();
  }

  uint32_t Pixel(const std::vector<uint8_t>& frame, int x, int y) const {
    const CaptureRegion& r = engine_.recorder->region;
    return FramePixel(frame, r.width, r.height, x, y);
  }
  ScreenRecorder& recorder() { return *engine_.recorder; }

 private:
  static StandInOptions KeepFrames() {
    StandInOptions options;
    options.keepVideoFrames = true;
    return options;
  }
  TempDir dir_;
  StandInEngine engine_;
  LONGLONG time_ = 0;
  size_t taken_ = 0;
};

// Window pattern colour at a screen position.
uint32_t Expected(int screenX, int screenY) { return PatternWindow::PatternColor(screenX - kWindowX, screenY - kWindowY); }

class CaptureFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Keep the pointer away from the rectangles unless a test moves it.
    SetCursorPos(5, 5);
    PumpMessages(50);
  }
  PatternWindow window_{kWindowX, kWindowY, kWindowW, kWindowH};
};

TEST_F(CaptureFrameTest, CursorIsDrawnWithItsHotSpotOnThePointer) {
  const HCURSOR probe = MakeProbeCursor();
  ASSERT_NE(probe, nullptr);
  window_.ShowCursorImage(probe);
  const CaptureRegion region{kWindowX + 50, kWindowY + 50, 100, 80};
  FrameGrab grab(region);
  auto frameWithPointerAt = [&](int x, int y) {
    SetCursorPos(region.left + x, region.top + y);
    window_.ShowCursorImage(probe);
    return grab.Take();
  };
  const uint32_t kBlack = 0x000000, kWhite = 0xffffff;
  const int dx = kProbeWhiteX - kProbeHotX, dy = kProbeWhiteY - kProbeHotY;

  {
    const auto frame = frameWithPointerAt(40, 30);
    EXPECT_EQ(grab.Pixel(frame, 40, 30), kBlack);
    EXPECT_EQ(grab.Pixel(frame, 40 + dx, 30 + dy), kWhite);
    EXPECT_EQ(grab.Pixel(frame, 41, 30), Expected(region.left + 41, region.top + 30));  // only the image's pixels
  }
  {
    // Hot spot on the last column: drawn, clipped at the edge.
    const auto frame = frameWithPointerAt(region.width - 1, 30);
    EXPECT_EQ(grab.Pixel(frame, region.width - 1, 30), kBlack);
    EXPECT_EQ(grab.Pixel(frame, region.width - 1 + dx, 30 + dy), kWhite);
  }
  {
    // One past it: not drawn at all, although part of the image would fit.
    const auto frame = frameWithPointerAt(region.width, 30);
    EXPECT_EQ(grab.Pixel(frame, region.width + dx, 30 + dy), Expected(region.left + region.width + dx, region.top + 30 + dy));
  }
  {
    const auto frame = frameWithPointerAt(30, region.height - 1);
    EXPECT_EQ(grab.Pixel(frame, 30, region.height - 1), kBlack);
  }
  {
    const auto frame = frameWithPointerAt(30, region.height);
    EXPECT_EQ(grab.Pixel(frame, 30 + dx, region.height + dy), Expected(region.left + 30 + dx, region.top + region.height + dy));
  }
  {
    // Left of the rectangle: not drawn.
    const auto frame = frameWithPointerAt(-1, 30);
    EXPECT_EQ(grab.Pixel(frame, 0, 30), Expected(region.left, region.top + 30));
  }
  DestroyCursor(probe);
}

TEST_F(CaptureFrameTest, HiddenCursorIsLeftOut) {
  const HCURSOR probe = MakeProbeCursor();
  window_.ShowCursorImage(probe);
  const CaptureRegion region{kWindowX + 50, kWindowY + 50, 100, 80};
  FrameGrab grab(region);
  SetCursorPos(region.left + 40, region.top + 30);
  window_.ShowCursorImage(probe);
  EXPECT_EQ(grab.Pixel(grab.Take(), 40, 30), 0x000000u);  // shown: drawn

  ShowCursor(FALSE);
  const auto hidden = grab.Take();
  ShowCursor(TRUE);
  EXPECT_EQ(grab.Pixel(hidden, 40, 30), Expected(region.left + 40, region.top + 30));

  SetCursor(nullptr);  // no cursor image at all
  const auto none = grab.Take();
  EXPECT_EQ(grab.Pixel(none, 40, 30), Expected(region.left + 40, region.top + 30));
  DestroyCursor(probe);

  // Without its drawing resources (a recording being stopped) a frame is
  // refused, not written.
  grab.recorder().ReleaseCaptureResources();
  HRESULT hr = S_OK;
  EXPECT_TRUE(grab.Take(&hr).empty());
  EXPECT_EQ(hr, E_FAIL);
}

}  // namespace
