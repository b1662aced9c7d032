// The picture builder and the owner-drawn button painter.
#include "ui/ButtonImage.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/Win32Handles.h"

namespace {

struct Pixels {
  std::vector<uint32_t> argb;  // top row first
  uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * 48 + x]; }
  static int Alpha(uint32_t p) { return static_cast<int>(p >> 24); }
  static uint32_t Rgb(uint32_t p) { return p & 0xFFFFFF; }
};

Pixels Read(HBITMAP bitmap) {
  Pixels out;
  out.argb.resize(48 * 48);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 48;
  info.bmiHeader.biHeight = -48;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  unique_hdc dc(CreateCompatibleDC(nullptr));
  EXPECT_EQ(GetDIBits(dc.get(), bitmap, 0, 48, out.argb.data(), &info, DIB_RGB_COLORS), 48);
  return out;
}

constexpr uint32_t kWindowRgb = 0x2D2D30;

class ButtonImageTest : public ::testing::Test {
  GdiplusSession gdiplus_;
};

TEST_F(ButtonImageTest, RoundedSquareInTheWindowColourTransparentOutside) {
  unique_hbitmap bitmap(LoadButtonImage(901, 1.0f));
  ASSERT_TRUE(bitmap);
  BITMAP info{};
  GetObjectW(bitmap.get(), sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 48);
  EXPECT_EQ(info.bmHeight, 48);
  EXPECT_EQ(info.bmBitsPixel, 32);
  const Pixels p = Read(bitmap.get());
  // The four corners lie outside the radius-10 arcs.
  for (auto [x, y] : {std::pair{0, 0}, {47, 0}, {0, 47}, {47, 47}, {1, 1}, {46, 2}}) {
    EXPECT_EQ(Pixels::Alpha(p.At(x, y)), 0) << x << "," << y;
    // In the window colour, for buttons that show the bitmap without blending.
    EXPECT_EQ(Pixels::Rgb(p.At(x, y)), kWindowRgb) << x << "," << y;
  }
  // Inside the square but outside the image box: the opaque window colour.
  for (auto [x, y] : {std::pair{3, 24}, {24, 3}, {44, 24}, {24, 44}, {10, 2}}) {
    EXPECT_EQ(Pixels::Alpha(p.At(x, y)), 255) << x << "," << y;
    EXPECT_EQ(Pixels::Rgb(p.At(x, y)), kWindowRgb) << x << "," << y;
  }
}

// Where the opaque red image lands: its box must be red inside and the
// window colour just outside (edge pixels may be blended by the filter).
void ExpectImageBox(unsigned short id, int x, int y, int w, int h) {
  SCOPED_TRACE(testing::Message() << "picture " << id);
  unique_hbitmap bitmap(LoadButtonImage(id, 1.0f));
  ASSERT_TRUE(bitmap);
  const Pixels p = Read(bitmap.get());
  EXPECT_EQ(Pixels::Rgb(p.At(x + w / 2, y + h / 2)), 0xFF0000u);
  EXPECT_EQ(Pixels::Rgb(p.At(x + 1, y + 1)), 0xFF0000u);
  EXPECT_EQ(Pixels::Rgb(p.At(x + w - 2, y + h - 2)), 0xFF0000u);
  EXPECT_EQ(Pixels::Rgb(p.At(x - 1, y + h / 2)), kWindowRgb);
  EXPECT_EQ(Pixels::Rgb(p.At(x + w, y + h / 2)), kWindowRgb);
  EXPECT_EQ(Pixels::Rgb(p.At(x + w / 2, y - 1)), kWindowRgb);
  EXPECT_EQ(Pixels::Rgb(p.At(x + w / 2, y + h)), kWindowRgb);
}

TEST_F(ButtonImageTest, ImageIsScaledIntoTheBoxAndCentred) {
  ExpectImageBox(901, 6, 6, 36, 36);  // 133 x 133
  ExpectImageBox(902, 6, 6, 35, 35);  // 139 x 138: just below 36 in single precision
  ExpectImageBox(903, 6, 7, 36, 34);  // 124 x 120
  ExpectImageBox(904, 6, 8, 36, 32);  // 141 x 128
}

TEST_F(ButtonImageTest, DimmingChangesOnlyTheImageAlpha) {
  unique_hbitmap full(LoadButtonImage(901, 1.0f));
  unique_hbitmap dimmed(LoadButtonImage(901, 0.3f));
  ASSERT_TRUE(full && dimmed);
  const Pixels a = Read(full.get()), b = Read(dimmed.get());
  // Red at 30 % over the window colour: 0.3 * 255 + 0.7 * 45, 0.7 * 45, 0.7 * 48.
  const uint32_t centre = b.At(24, 24);
  EXPECT_NEAR(static_cast<int>((centre >> 16) & 0xFF), 108, 2);
  EXPECT_NEAR(static_cast<int>((centre >> 8) & 0xFF), 32, 2);
  EXPECT_NEAR(static_cast<int>(centre & 0xFF), 34, 2);
  EXPECT_EQ(Pixels::Alpha(centre), 255);  // the square under it is opaque
  // Outside the image both pictures are the same.
  EXPECT_EQ(a.At(3, 24), b.At(3, 24));
  EXPECT_EQ(a.At(0, 0) >> 24, b.At(0, 0) >> 24);
}

TEST_F(ButtonImageTest, MissingPictureGivesNull) {
  EXPECT_EQ(LoadButtonImage(999, 1.0f), nullptr);
  EXPECT_EQ(LoadButtonImage(1, 1.0f), nullptr);  // a resource of another type
}

// Paints a button of the given state into a bitmap and reads the face and
// border colours back.
TEST_F(ButtonImageTest, OwnerButtonFaceBorderAndText) {
  HWND button = CreateWindowExW(0, L"BUTTON", L"Browse...", WS_POPUP | BS_OWNERDRAW, 0, 0, 70, 24, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(button, nullptr);
  unique_screen_dc screen(GetDC(nullptr));
  unique_hdc dc(CreateCompatibleDC(screen.get()));
  unique_hbitmap target(CreateCompatibleBitmap(screen.get(), 70, 24));
  SelectObjectScope select(dc.get(), target.get());
  struct Case {
    UINT state;
    COLORREF face, border;
  } cases[] = {{0, RGB(36, 36, 40), RGB(70, 70, 76)},
               {ODS_SELECTED, RGB(60, 60, 66), RGB(70, 70, 76)},
               {ODS_DEFAULT, RGB(36, 36, 40), RGB(80, 120, 210)}};
  for (const Case& c : cases) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.itemState = c.state;
    item.hwndItem = button;
    item.hDC = dc.get();
    item.rcItem = RECT{0, 0, 70, 24};
    PaintOwnerButton(item);
    EXPECT_EQ(GetPixel(dc.get(), 2, 2), c.face) << c.state;
    EXPECT_EQ(GetPixel(dc.get(), 0, 10), c.border) << c.state;
    EXPECT_EQ(GetPixel(dc.get(), 68, 10), c.border) << c.state;  // right - 1 is outside the frame
    EXPECT_EQ(GetPixel(dc.get(), 69, 10), c.face) << c.state;
    // Some text pixels in the light text colour (anti-aliasing aside).
    int light = 0;
    for (int x = 10; x < 60; ++x) {
      for (int y = 6; y < 18; ++y) light += GetRValue(GetPixel(dc.get(), x, y)) > 150;
    }
    EXPECT_GT(light, 10) << c.state;
  }
  DestroyWindow(button);
}

}  // namespace
