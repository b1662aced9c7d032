// Dragging a region on the overlay with real pointer input (xdotool).
#include "region/RegionSelector.h"

#include <thread>

#include "res/resource.h"
#include "tests/app/AppFixture.h"
#include "tests/support/Screenshot.h"

namespace {

HWND Overlay() {
  HWND overlay = FindWindowW(kRegionSelectorClass, nullptr);
  return overlay && IsWindowVisible(overlay) ? overlay : nullptr;
}

// Runs a selection while another thread acts as the user. The user waits
// for the overlay to take in each step, since X input arrives on its own time.
struct Selection {
  bool chosen = false;
  RegionSelector selector;
};
using User = std::function<void(RegionSelector&)>;
Selection Select(const User& user) {
  Selection s;
  std::thread actor([&] {
    if (!WaitFor([] { return Overlay() != nullptr; })) return;
    Sleep(100);
    user(s.selector);
  });
  s.chosen = SelectRegion(s.selector);
  actor.join();
  return s;
}

std::wstring Point(int x, int y) { return std::to_wstring(x) + L" " + std::to_wstring(y); }

void Press(RegionSelector& s, int x, int y) {
  Xdotool(L"mousemove " + Point(x, y));
  Sleep(50);
  Xdotool(L"mousedown 1");
  WaitFor([&] { return s.dragging; });
}

void MoveTo(RegionSelector& s, int x, int y) {
  Xdotool(L"mousemove " + Point(x, y));
  WaitFor([&] { return s.currentX == x && s.currentY == y; });
}

void Release(RegionSelector& s) {
  HWND overlay = s.window;
  Xdotool(L"mouseup 1");
  WaitFor([&] { return !IsWindow(overlay); });
}

User Drag(int x0, int y0, int x1, int y1) {
  return [=](RegionSelector& s) {
    Press(s, x0, y0);
    MoveTo(s, (x0 + x1) / 2, (y0 + y1) / 2);
    MoveTo(s, x1, y1);
    Release(s);
  };
}

// Escape goes to the overlay as a message: without a window manager, which
// X window has the keyboard is not certain.
void Escape(RegionSelector& s) { PostMessageW(s.window, WM_KEYDOWN, VK_ESCAPE, 0); }

TEST(RegionSelectorTest, NothingUsableGivesFalse) {
  const Selection click = Select([](RegionSelector& s) {
    Press(s, 200, 200);
    Release(s);
  });
  EXPECT_FALSE(click.chosen);
  const Selection row = Select(Drag(100, 150, 500, 150));
  EXPECT_FALSE(row.chosen);
  const Selection column = Select(Drag(300, 100, 300, 500));
  EXPECT_FALSE(column.chosen);

  // Escape before any click, and in the middle of a drag.
  const Selection before = Select(Escape);
  EXPECT_FALSE(before.chosen);
  RECT zero{};
  EXPECT_TRUE(EqualRect(&before.selector.result, &zero));
  const Selection during = Select([](RegionSelector& s) {
    Press(s, 100, 100);
    MoveTo(s, 300, 300);
    Escape(s);
    WaitFor([&] { return !IsWindow(s.window); });
    Xdotool(L"mouseup 1");
  });
  EXPECT_FALSE(during.chosen);
  EXPECT_TRUE(EqualRect(&during.selector.result, &zero));

  // And the next selection works again: the class is registered afresh.
  const Selection again = Select(Drag(50, 60, 150, 160));
  EXPECT_TRUE(again.chosen);
}

TEST(RegionSelectorTest, ReleaseBeyondTheLeftEdgeGivesANegativeLeft) {
  // The pointer cannot leave the screen, so the release comes as a message
  // with the position the captured mouse would report there.
  const Selection s = Select([](RegionSelector& sel) {
    Press(sel, 200, 200);
    MoveTo(sel, 100, 250);
    HWND overlay = sel.window;
    PostMessageW(overlay, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-40), 300));
    PostMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(-40), 300));
    WaitFor([&] { return !IsWindow(overlay); });
    Xdotool(L"mouseup 1");
  });
  EXPECT_TRUE(s.chosen);
  EXPECT_EQ(s.selector.result.left, -40);
  EXPECT_EQ(s.selector.result.right, 200);
  EXPECT_EQ(s.selector.result.bottom, 300);
}

// The overlay mid-drag: the red frame and the yellow label over the dimmed
// screen, saved for people to look at.
TEST(RegionSelectorTest, FrameAndLabelWhileDragging) {
  static COLORREF frame, inside, label;
  static bool labelFound;
  const Selection s = Select([](RegionSelector& sel) {
    Press(sel, 100, 100);
    MoveTo(sel, 250, 200);
    MoveTo(sel, 400, 300);
    Sleep(300);  // painted
    unique_screen_dc screen(GetDC(nullptr));
    frame = GetPixel(screen.get(), 250, 100);
    inside = GetPixel(screen.get(), 250, 250);
    labelFound = false;
    for (int y = 105; y < 125 && !labelFound; ++y) {
      for (int x = 105; x < 260 && !labelFound; ++x) {
        label = GetPixel(screen.get(), x, y);
        labelFound = GetRValue(label) > 100 && GetGValue(label) > 100 && GetBValue(label) < 60;
      }
    }
    SaveScreenshot(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2},
                   L"region-overlay");
    Release(sel);
  });
  EXPECT_TRUE(s.chosen);
  // Red dominates on the frame (dimmed or not, depending on compositing).
  EXPECT_GT(GetRValue(frame), 100) << std::hex << frame;
  EXPECT_LT(GetGValue(frame), 40) << std::hex << frame;
  EXPECT_LT(GetRValue(inside), 60) << std::hex << inside;  // the inside stays dark
  EXPECT_TRUE(labelFound);
}

TEST_F(AppTest, RegionCommandHidesTheWindowAndKeepsTheRectangle) {
  static bool hiddenDuring;
  hiddenDuring = false;
  std::thread actor([] {
    if (!WaitFor([] { return Overlay() != nullptr; })) return;
    hiddenDuring = !IsWindowVisible(g_mainWindow.window);
    Sleep(100);
    HWND overlay = Overlay();
    auto* selector = reinterpret_cast<RegionSelector*>(GetWindowLongPtrW(overlay, GWLP_USERDATA));
    Drag(100, 100, 400, 300)(*selector);
  });
  Command(IDC_REGION);
  actor.join();
  EXPECT_TRUE(hiddenDuring);
  EXPECT_TRUE(IsWindowVisible(main_));
  EXPECT_EQ(g_mainWindow.captureRegion.left, 100);
  EXPECT_EQ(g_mainWindow.captureRegion.top, 100);
  EXPECT_EQ(g_mainWindow.captureRegion.width, 300);
  EXPECT_EQ(g_mainWindow.captureRegion.height, 200);

  // Cancelled: the rectangle stays; while recording the command is ignored.
  std::thread escape([] {
    if (WaitFor([] { return Overlay() != nullptr; })) PostMessageW(Overlay(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  Command(IDC_REGION);
  escape.join();
  EXPECT_EQ(g_mainWindow.captureRegion.width, 300);
  EXPECT_TRUE(IsWindowVisible(main_));

  Command(IDC_RECORD);
  Command(IDC_REGION);  // returns at once: no overlay while recording
  EXPECT_TRUE(IsWindowVisible(main_));
  EXPECT_EQ(g_recorder->region.width, 300);
  EXPECT_EQ(g_recorder->region.left, 100);
  Command(IDC_RECORD);
}

}  // namespace
