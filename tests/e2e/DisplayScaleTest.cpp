// The windows at the display scale of the session they run in (96, 144 or
// 192 DPI), and the main window told of a new scale as Windows tells a window
// dragged onto another monitor.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "common/Win32Handles.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "tests/e2e/EndToEnd.h"
#include "ui/WindowGeometry.h"

namespace {

// The main window's client area at 100 %: its outer 520 x 310 less Wine's
// frame, caption and one row of menu bar.
constexpr SIZE kMainClientAt96{514, 259};
// At 100 %: the ink of "Ready to Record" in the status font, and the green
// dot of the record picture.
constexpr SIZE kStatusInkAt96{174, 18};
constexpr int kRecordDotAt96 = 34;

// The rectangle of the pixels inside `control` that `ink` picks out.
template <typename Ink>
RECT InkIn(HWND control, Ink ink) {
  const RECT area = WindowRect(control);
  const std::vector<uint32_t> pixels = ScreenPixels(area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  RECT box{width, height, 0, 0};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!ink(pixels[static_cast<size_t>(y * width + x)])) continue;
      box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
             std::max<LONG>(box.bottom, y + 1)};
    }
  }
  return box;
}

// A control where its window's table puts it (at 96 DPI), scaled as the
// program must scale the table's lengths.
void ExpectPlace(HWND parent, int id, int x, int y, int width, int height, int dpi) {
  RECT r = WindowRect(GetDlgItem(parent, id));
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  const LONG left = ScaleForDpi(x, dpi), top = ScaleForDpi(y, dpi);
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
            std::make_tuple(left, top, left + ScaleForDpi(width, dpi), top + ScaleForDpi(height, dpi)))
      << "control " << id;
}

// The main window as it must look at `dpi`: its client area, the button row,
// the folder line, the status line and its font, and the record button's
// picture drawn at the button's size.
void ExpectMainWindowAt(HWND main, int dpi) {
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, ScaleForDpi(kMainClientAt96.cx, dpi));
  EXPECT_EQ(client.bottom, ScaleForDpi(kMainClientAt96.cy, dpi));
  const int buttons[] = {IDC_RECORD, IDC_PAUSE, IDC_FULLSCREEN, IDC_REGION, IDC_MICROPHONE, IDC_WEBCAM};
  for (int n = 0; n < 6; ++n) ExpectPlace(main, buttons[n], 47 + 75 * n, 60, 48, 48, dpi);
  ExpectPlace(main, IDC_FOLDER, 130, 128, 280, 24, dpi);
  ExpectPlace(main, IDC_BROWSE, 420, 128, 70, 24, dpi);
  ExpectPlace(main, IDC_STATUS, 0, 170, 500, 30, dpi);

  // Measured on the screen, once drawn: the status line's blue text (hinted
  // to whole pixels at each size, so a little off the scale), and the record
  // picture drawn at the button's size, not a 48-pixel one in its middle.
  RECT text{}, dot{};
  auto onScale = [dpi](LONG length, int at96, int slack) {
    return std::abs(length - ScaleForDpi(at96, dpi)) <= ScaleForDpi(slack, dpi);
  };
  EXPECT_TRUE(WaitFor([&] {
    text = InkIn(StatusLine(main), [](uint32_t c) { return (c & 0xff) > 150; });
    dot = InkIn(GetDlgItem(main, IDC_RECORD), [](uint32_t c) { return ((c >> 8) & 0xff) > 150 && (c >> 16) < 100; });
    return onScale(text.right - text.left, kStatusInkAt96.cx, 3) &&
           onScale(text.bottom - text.top, kStatusInkAt96.cy, 1) && onScale(dot.right - dot.left, kRecordDotAt96, 1) &&
           onScale(dot.bottom - dot.top, kRecordDotAt96, 1);
  })) << "text " << text.right - text.left << " x " << text.bottom - text.top << ", dot " << dot.right - dot.left
      << " x " << dot.bottom - dot.top;
}

// WM_DPICHANGED as Windows sends it: its rectangle in the receiver's memory.
void SendDpiChanged(const Program& program, HWND window, int dpi, const RECT& suggested) {
  ASSERT_TRUE(SendWithData(program, window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), &suggested, sizeof(suggested)));
}

TEST_F(EndToEndTest, WindowsFollowTheDisplayScale) {
  const int dpi = static_cast<int>(GetDpiForSystem());
  const std::wstring scale = std::to_wstring(dpi);
  ASSERT_NO_FATAL_FAILURE(Start());
  ExpectMainWindowAt(main_, dpi);
  EXPECT_TRUE(SaveScreenshot(WindowRect(main_), (L"scale-" + scale + L"-main").c_str()));

  // General Settings: its client area and buttons.
  PostMessageW(main_, WM_COMMAND, IDM_SETTINGS, 0);
  HWND settings = program_->FindWindowOfClass(kSettingsClass, 5000);
  ASSERT_NE(settings, nullptr);
  PumpMessages(300);
  RECT client{};
  GetClientRect(settings, &client);
  EXPECT_EQ(client.right, ScaleForDpi(454, dpi));  // its outer 460 x 410 less Wine's frame and caption
  EXPECT_EQ(client.bottom, ScaleForDpi(378, dpi));
  ExpectPlace(settings, kCloseButtonId, 196, 312, 100, 32, dpi);
  ExpectPlace(settings, kApplyButtonId, 304, 312, 132, 32, dpi);
  EXPECT_TRUE(SaveScreenshot(WindowRect(settings), (L"scale-" + scale + L"-settings").c_str()));
  // Each list dropped down, for people to look at its entries.
  for (const int list : {kResolutionListId, kFrameRateListId, kAudioListId}) {
    SendDlgItemMessageW(settings, list, CB_SHOWDROPDOWN, TRUE, 0);
    PumpMessages(300);
    const RECT window = WindowRect(settings);
    const RECT below{window.left, window.top, window.right, window.bottom + ScaleForDpi(120, dpi)};
    EXPECT_TRUE(SaveScreenshot(below, (L"scale-" + scale + L"-settings-list-" + std::to_wstring(list)).c_str()));
    SendDlgItemMessageW(settings, list, CB_SHOWDROPDOWN, FALSE, 0);
  }
  ASSERT_TRUE(CloseAndWait(settings));

  if (dpi == kBaseDpi) {
    // Dragged onto a monitor at 150 %: the suggested rectangle,
    // whose client area is the window's at that scale, and a new layout.
    const RECT before = WindowRect(main_);
    RECT inner{};
    GetClientRect(main_, &inner);
    const RECT at150{before.left, before.top,
                     before.right - inner.right + ScaleForDpi(kMainClientAt96.cx, 144),
                     before.bottom - inner.bottom + ScaleForDpi(kMainClientAt96.cy, 144)};
    ASSERT_NO_FATAL_FAILURE(SendDpiChanged(*program_, main_, 144, at150));
    PumpMessages(500);
    const RECT after = WindowRect(main_);
    EXPECT_EQ(std::tie(after.left, after.top, after.right, after.bottom),
              std::tie(at150.left, at150.top, at150.right, at150.bottom));
    ExpectMainWindowAt(main_, 144);
    EXPECT_TRUE(SaveScreenshot(WindowRect(main_), L"scale-96-main-told-144"));
  } else {
    // A region dragged on the screen is recorded pixel for pixel, whatever
    // the scale of the windows: a 200 x 100 window of one colour, exactly.
    SolidWindow solid(1200, 600, 200, 100);
    ClickOn(GetDlgItem(main_, IDC_REGION));
    HWND overlay = program_->FindWindowOfClass(kRegionSelectorClass);
    ASSERT_NE(overlay, nullptr);
    Sleep(200);
    Drag({1200, 600}, {1400, 700}, [&] {
      Sleep(200);
      EXPECT_TRUE(SaveScreenshot({1150, 550, 1450, 750}, (L"scale-" + scale + L"-region").c_str()));
    });
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }));
    MovePointer(10, 1000);
    PumpMessages(300);

    TempDir folder;
    const WrittenRecording rec = RecordInto(main_, folder.path(), 1000);
    ASSERT_TRUE(rec.finalized) << Describe(rec);
    EXPECT_TRUE(rec.width == 200 && rec.height == 100) << rec.width << " x " << rec.height;
    EXPECT_GT(rec.video.size(), 10u);
    int wrong = 0;
    const size_t frames = ForEachRawFrame(NewestFile(folder.path(), L"*.mp4"), 200, 100, [&](const std::vector<uint8_t>& f) {
      for (size_t i = 0; i < f.size(); i += 4) wrong += (f[i] | f[i + 1] << 8 | f[i + 2] << 16) != SolidWindow::kColour;
    });
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(frames, rec.video.size());
  }
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace
