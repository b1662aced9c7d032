// One frame against a window of known pixels: layout, edges and the cursor.
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

// A plain copy of the rectangle, read out the same way, bottom row first.
std::vector<uint8_t> ScreenCopy(const CaptureRegion& region) {
  unique_screen_dc screen(GetDC(nullptr));
  unique_hdc memory(CreateCompatibleDC(screen.get()));
  unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), region.width, region.height));
  SelectObjectScope select(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, region.width, region.height, screen.get(), region.left, region.top, SRCCOPY);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = region.width;
  info.bmiHeader.biHeight = region.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint8_t> pixels(static_cast<size_t>(region.width) * region.height * 4);
  GetDIBits(memory.get(), bitmap.get(), 0, region.height, pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

class CaptureFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Keep the pointer away from the rectangles unless a test moves it.
    SetCursorPos(5, 5);
    PumpMessages(50);
  }
  PatternWindow window_{kWindowX, kWindowY, kWindowW, kWindowH};
};

TEST_F(CaptureFrameTest, FrameIsTheRectangleBottomRowFirstInBgrx) {
  const CaptureRegion region{kWindowX + 40, kWindowY + 30, 200, 120};
  FrameGrab grab(region);
  HRESULT hr = E_FAIL;
  const auto frame = grab.Take(&hr);
  EXPECT_EQ(hr, S_OK);
  ASSERT_EQ(frame.size(), 200u * 120 * 4);
  // The first bytes of the buffer are the bottom row of the rectangle.
  const uint32_t bottomLeft = Expected(region.left, region.top + 119);
  EXPECT_EQ(frame[0], bottomLeft & 0xff);          // blue
  EXPECT_EQ(frame[1], (bottomLeft >> 8) & 0xff);   // green
  EXPECT_EQ(frame[2], (bottomLeft >> 16) & 0xff);  // red
  int mismatches = 0;
  for (int y = 0; y < region.height; ++y) {
    for (int x = 0; x < region.width; ++x) {
      if (grab.Pixel(frame, x, y) != Expected(region.left + x, region.top + y)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(CaptureFrameTest, SmallestFrameAndRectanglePastTheScreenEdge) {
  {
    FrameGrab grab({kWindowX, kWindowY, 16, 16});
    const auto frame = grab.Take();
    ASSERT_EQ(frame.size(), 1024u);
    EXPECT_EQ(grab.Pixel(frame, 15, 15), Expected(kWindowX + 15, kWindowY + 15));
  }
  // A rectangle reaching over the bottom-right corner of the screen, where a
  // pattern window fills the corner. The frame keeps its full size and holds
  // what the screen copy yields (Wine yields nothing for a source partly off
  // the screen; Windows yields the visible part).
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  PatternWindow corner(screenW - 200, screenH - 200, 200, 200);
  const CaptureRegion region{screenW - 100, screenH - 80, 160, 120};
  FrameGrab grab(region);
  const auto frame = grab.Take();
  ASSERT_EQ(frame.size(), 160u * 120 * 4);
  EXPECT_EQ(frame, ScreenCopy(region));
}

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
}

TEST_F(CaptureFrameTest, MissingResourcesGiveEFailAndNoSample) {
  FrameGrab grab({kWindowX, kWindowY, 64, 64});
  grab.recorder().ReleaseCaptureResources();
  HRESULT hr = S_OK;
  EXPECT_TRUE(grab.Take(&hr).empty());
  EXPECT_EQ(hr, E_FAIL);
}

}  // namespace
