#pragma once
// Where the program's small windows go, and how big they are at a display
// scale. Platform-free.
#include "recorder/RecorderTypes.h"

// The display scale Windows calls 100 %; every length of the windows' tables
// is given for it.
constexpr int kBaseDpi = 96;

// A length given for 96 DPI at `dpi`, rounded to the nearest pixel (halves
// away from zero, as MulDiv rounds). Unchanged at 96.
int ScaleForDpi(int value, int dpi);

struct PixelPoint {
  int x = 0, y = 0;
};

// A rectangle with exclusive right and bottom edges.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// The top-left corner that centres a width x height window over the owner's
// outer rectangle (integer division toward zero, as the windows place it).
PixelPoint CentredOver(const PixelRect& owner, int width, int height);

// The rectangle between the two points of a drag, whichever way it went.
PixelRect NormalizeDrag(int startX, int startY, int endX, int endY);

// True when the rectangle is at least 1 x 1.
bool HasArea(const PixelRect& rect);

// The capture rectangle for a selected screen rectangle, used as it is.
CaptureRegion RegionFromRect(const PixelRect& rect);

// The webcam overlay at 96 DPI: 208 x 158, 20 pixels from the screen edges.
constexpr int kWebcamWidth = 208;
constexpr int kWebcamHeight = 158;
constexpr int kWebcamMargin = 20;

// Top-left of the overlay (its lengths scaled for `dpi`) for a corner:
// 0 top-left, 1 top-right, 2 bottom-left, 3 (and anything else) bottom-right.
PixelPoint WebcamCorner(int position, int screenWidth, int screenHeight, int dpi = kBaseDpi);
