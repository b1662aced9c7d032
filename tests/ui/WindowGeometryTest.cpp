#include "ui/WindowGeometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(WindowGeometry, CentredOverTheOwner) {
  const PixelPoint p = CentredOver({100, 50, 620, 360}, 340, 180);
  EXPECT_EQ(p.x, 190);
  EXPECT_EQ(p.y, 115);
  // Toward zero when the window is larger than its owner or lies left of 0.
  const PixelPoint q = CentredOver({-521, 0, 0, 311}, 460, 390);
  EXPECT_EQ(q.x, -521 + (521 - 460) / 2);
  EXPECT_EQ(q.y, -39);
}

TEST(WindowGeometry, DragsInEitherDirectionGiveOneRectangle) {
  for (const PixelRect& r :
       {NormalizeDrag(100, 100, 400, 300), NormalizeDrag(400, 300, 100, 100), NormalizeDrag(400, 100, 100, 300)}) {
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::make_tuple(100, 100, 400, 300));
  }
  EXPECT_TRUE(HasArea(NormalizeDrag(10, 10, 11, 11)));                  // 1 x 1 counts
  EXPECT_FALSE(HasArea(NormalizeDrag(10, 10, 10, 10)));                 // a click
  EXPECT_FALSE(HasArea(NormalizeDrag(10, 10, 300, 10)));                // one row
  EXPECT_FALSE(HasArea(NormalizeDrag(10, 10, 10, 300)));                // one column
  EXPECT_EQ(RegionFromRect(NormalizeDrag(50, 20, -30, 90)).left, -30);  // beyond the left edge, as it is
}

TEST(WindowGeometry, LengthsAtADisplayScale) {
  struct Case {
    int value, dpi, scaled;
  } cases[] = {{47, 96, 47}, {47, 120, 59}, {47, 144, 71}, {-5, 144, -8}, {0, 144, 0}};  // to the nearest, halves out
  for (const Case& c : cases) EXPECT_EQ(ScaleForDpi(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
  // The webcam overlay: 312 x 237 at 150 %, 30 pixels in from the corner.
  const PixelPoint corner = WebcamCorner(3, 1920, 1080, 144);
  EXPECT_EQ(std::tie(corner.x, corner.y), std::make_tuple(1920 - 312 - 30, 1080 - 237 - 30));
}

}  // namespace
