// The webcam overlay, where Wine offers no camera.
#include "webcam/WebcamOverlay.h"

#include <thread>

#include "res/resource.h"
#include "tests/app/AppFixture.h"

namespace {

// Reads the failure box of the current process and presses its OK button.
struct BoxWatcher {
  std::wstring caption, text;
  bool seen = false;
  std::thread thread;
  void Start() {
    thread = std::thread([this] {
      HWND box = nullptr;
      seen = WaitFor([&] {
        box = FindWindowW(L"#32770", kWebcamFailureCaption);
        return box && IsWindowVisible(box);
      });
      if (!seen) return;
      wchar_t buffer[256] = {};
      GetWindowTextW(box, buffer, 256);
      caption = buffer;
      GetDlgItemTextW(box, 0xFFFF, buffer, 256);
      text = buffer;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
  }
  void Join() { thread.join(); }
};

TEST_F(AppTest, WebcamWithoutACameraSaysSoAndStaysOff) {
  BoxWatcher watcher;
  watcher.Start();
  Command(IDC_WEBCAM);
  watcher.Join();
  EXPECT_TRUE(watcher.seen);
  EXPECT_EQ(watcher.caption, L"Webcam");
  EXPECT_EQ(watcher.text,
            L"Unable to open webcam.\nPlease check camera access in\nWindows Settings \u2192 Privacy \u2192 Camera.");
  EXPECT_FALSE(g_mainWindow.webcamFlag);
  EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageW(Control(IDC_WEBCAM), BM_GETIMAGE, IMAGE_BITMAP, 0)),
            g_mainWindow.pictures[kPictureWebcamOff].get());
  EXPECT_FALSE(WebcamOverlay::Instance().IsActive());
  EXPECT_EQ(WebcamOverlay::Instance().window(), nullptr);
  EXPECT_EQ(FindWindowW(kWebcamOverlayClass, nullptr), nullptr);
}

TEST(WebcamOverlayTest, CornersAndClosing) {
  WebcamOverlay& overlay = WebcamOverlay::Instance();
  overlay.Close();  // closed already: nothing happens
  overlay.Reposition(3);  // no window: nothing happens
  ASSERT_TRUE(overlay.CreateOverlayWindow());
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    int position, x, y;
  } cases[] = {{3, w - 228, h - 178}, {1, w - 228, 20}, {0, 20, 20}, {2, 20, h - 178}, {9, w - 228, h - 178}};
  for (const Case& c : cases) {
    overlay.Reposition(c.position);
    RECT r;
    GetWindowRect(overlay.window(), &r);
    EXPECT_EQ(r.left, c.x) << c.position;
    EXPECT_EQ(r.top, c.y) << c.position;
    EXPECT_EQ(r.right - r.left, 208);
    EXPECT_EQ(r.bottom - r.top, 158);
  }
  if (w == 1920 && h == 1080) {
    overlay.Reposition(3);
    RECT r;
    GetWindowRect(overlay.window(), &r);
    EXPECT_EQ(r.left, 1692);
    EXPECT_EQ(r.top, 902);
  }
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
