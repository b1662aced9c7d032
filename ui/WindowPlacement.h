#pragma once
// Placing the program's secondary windows over the window that opened them.
#include <windows.h>

#include "ui/WindowGeometry.h"

// Moves `window` (width x height) so that it is centred over `owner`.
inline void PlaceCentredOver(HWND window, HWND owner, int width, int height) {
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  const PixelPoint at = CentredOver({ownerRect.left, ownerRect.top, ownerRect.right, ownerRect.bottom}, width, height);
  SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
