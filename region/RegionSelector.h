#pragma once
// The dimmed full-screen overlay on which the user drags the rectangle to
// record.
#include <windows.h>

struct RegionSelector {
  HWND window = nullptr;  // the overlay; not cleared when it is destroyed
  int startX = 0, startY = 0;
  int currentX = 0, currentY = 0;
  bool dragging = false;
  RECT result{};  // right and bottom exclusive; zero until a drag ends
};

// Shows the overlay and waits in a loop of its own until the user has
// dragged a rectangle (true, in `result`) or given up (false: Escape, a
// click or a drag along one row or column, or no window).
bool SelectRegion(RegionSelector& selector);

inline constexpr wchar_t kRegionSelectorClass[] = L"RegionSelectorClass";
