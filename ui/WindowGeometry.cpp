#include "ui/WindowGeometry.h"

#include <algorithm>

int ScaleForDpi(int value, int dpi) {
  const long long scaled = static_cast<long long>(value) * dpi;
  const long long half = kBaseDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kBaseDpi : (scaled - half) / kBaseDpi);
}

PixelPoint CentredOver(const PixelRect& owner, int width, int height) {
  return {owner.left + (owner.right - owner.left - width) / 2, owner.top + (owner.bottom - owner.top - height) / 2};
}

PixelRect NormalizeDrag(int startX, int startY, int endX, int endY) {
  return {std::min(startX, endX), std::min(startY, endY), std::max(startX, endX), std::max(startY, endY)};
}

bool HasArea(const PixelRect& rect) { return rect.right - rect.left > 0 && rect.bottom - rect.top > 0; }

CaptureRegion RegionFromRect(const PixelRect& rect) {
  return CaptureRegion{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

PixelPoint WebcamCorner(int position, int screenWidth, int screenHeight, int dpi) {
  const int margin = ScaleForDpi(kWebcamMargin, dpi);
  const int right = screenWidth - ScaleForDpi(kWebcamWidth, dpi) - margin;
  const int bottom = screenHeight - ScaleForDpi(kWebcamHeight, dpi) - margin;
  switch (position) {
    case 0:
      return {margin, margin};
    case 1:
      return {right, margin};
    case 2:
      return {margin, bottom};
    default:
      return {right, bottom};
  }
}
