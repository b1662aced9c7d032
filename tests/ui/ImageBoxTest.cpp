#include "ui/ImageBox.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(ImageBox, FitsTheSourceSizesOfThePictures) {
  struct Case {
    int w, h;
    ImageBox box;
  } cases[] = {
      {141, 128, {6, 8, 36, 32}},  // full screen
      {139, 138, {6, 6, 35, 35}},  // pause: 36/139*139 falls just below 36 in single precision
      {10, 40, {19, 6, 9, 36}},    // tall
      {0, 10, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const ImageBox b = FitImageBox(c.w, c.h);
    EXPECT_EQ(std::tie(b.x, b.y, b.width, b.height), std::tie(c.box.x, c.box.y, c.box.width, c.box.height))
        << c.w << "x" << c.h;
  }
}

}  // namespace
