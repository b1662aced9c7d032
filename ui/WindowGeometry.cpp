#include "ui/WindowGeometry.h"

#include <algorithm>

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

PixelPoint WebcamCorner(int position, int screenWidth, int screenHeight) {
  const int right = screenWidth - kWebcamWidth - kWebcamMargin;
  const int bottom = screenHeight - kWebcamHeight - kWebcamMargin;
  switch (position) {
    case 0:
      return {kWebcamMargin, kWebcamMargin};
    case 1:
      return {right, kWebcamMargin};
    case 2:
      return {kWebcamMargin, bottom};
    default:
      return {right, bottom};
  }
}
