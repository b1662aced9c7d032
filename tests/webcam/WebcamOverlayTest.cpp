// The webcam overlay window, where Wine offers no camera (the failure box
// is met end to end).
#include "webcam/WebcamOverlay.h"

#include <gtest/gtest.h>

#include "tests/support/ScreenFixtures.h"

namespace {

TEST(WebcamOverlayTest, CornersAndClosing) {
  WebcamOverlay& overlay = WebcamOverlay::Instance();
  overlay.Close();  // closed already: nothing happens
  overlay.Reposition(3);  // no window: nothing happens
  ASSERT_TRUE(overlay.CreateOverlayWindow());
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  // The corner arithmetic is tested natively; here, that it reaches the window.
  overlay.Reposition(3);
  RECT r;
  GetWindowRect(overlay.window(), &r);
  EXPECT_EQ(r.left, w - 228);
  EXPECT_EQ(r.top, h - 178);
  EXPECT_EQ(r.right - r.left, 208);
  EXPECT_EQ(r.bottom - r.top, 158);
  const LONG_PTR ex = GetWindowLongPtrW(overlay.window(), GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_EQ(SendMessageW(overlay.window(), WM_NCHITTEST, 0, MAKELPARAM(w - 100, h - 100)), HTCAPTION);
  HWND window = overlay.window();
  overlay.Close();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(overlay.window(), nullptr);
  overlay.Close();  // twice: harmless
  EXPECT_FALSE(overlay.IsActive());
}

}  // namespace
