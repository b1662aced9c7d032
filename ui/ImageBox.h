#pragma once
// Where a button picture's image goes on its canvas (48 x 48 at 96 DPI).
// Platform-free.

constexpr int kButtonImageSize = 48;
constexpr int kButtonImageBox = 36;

struct ImageBox {
  int x = 0, y = 0, width = 0, height = 0;
};

// Scales a w x h image to fit the box in the middle of a canvas of `canvas`
// pixels (36 of 48, in proportion for other sizes) and centres it, in single
// precision with truncation, exactly as the picture builder draws it.
ImageBox FitImageBox(int width, int height, int canvas = kButtonImageSize);
