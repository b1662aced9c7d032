#include "region/RegionSelector.h"

#include <windowsx.h>

#include <cwchar>

#include "common/Win32Handles.h"
#include "ui/Theme.h"
#include "ui/Window.h"
#include "ui/WindowGeometry.h"

namespace {

// Positions may lie outside the overlay (the mouse is captured): signed.
void TakePointer(LPARAM lParam, int& x, int& y) {
  x = GET_X_LPARAM(lParam);
  y = GET_Y_LPARAM(lParam);
}

void PaintSelection(HWND window, const RegionSelector& s) {
  PaintScope paint(window);
  if (!s.dragging) return;
  // Only the outline and its label follow the display scale: the rectangle
  // is the screen's own pixels.
  const int dpi = static_cast<int>(DpiOf(window));
  const PixelRect r = NormalizeDrag(s.startX, s.startY, s.currentX, s.currentY);
  HDC dc = paint.dc();
  {
    unique_hpen red(CreatePen(PS_SOLID, ScaleForDpi(2, dpi), kRegionOutline));
    SelectObjectScope pen(dc, red.get());
    SelectObjectScope brush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kRegionLabel);
  wchar_t label[80];
  const int length = std::swprintf(label, 80, L"Width: %d, Height: %d", r.right - r.left, r.bottom - r.top);
  const unique_hfont font = SystemFontAt(static_cast<UINT>(dpi));
  SelectObjectScope selected(dc, font ? font.get() : GetCurrentObject(dc, OBJ_FONT));
  const int inset = ScaleForDpi(5, dpi);
  if (length > 0) TextOutW(dc, r.left + inset, r.top + inset, label, length);
}

LRESULT CALLBACK RegionSelectorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RegionSelector* s = WindowState<RegionSelector>(window, message, lParam);
  if (!s) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_LBUTTONDOWN:
      TakePointer(lParam, s->startX, s->startY);
      s->currentX = s->startX;
      s->currentY = s->startY;
      s->dragging = true;
      SetCapture(window);
      return 0;
    case WM_MOUSEMOVE:
      if (s->dragging) {
        TakePointer(lParam, s->currentX, s->currentY);
        InvalidateRect(window, nullptr, TRUE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (s->dragging) {
        TakePointer(lParam, s->currentX, s->currentY);
        s->dragging = false;
        ReleaseCapture();
        const PixelRect r = NormalizeDrag(s->startX, s->startY, s->currentX, s->currentY);
        s->result = RECT{r.left, r.top, r.right, r.bottom};
        PostMessageW(window, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        s->result = RECT{};
        PostMessageW(window, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam), unique_hbrush(CreateSolidBrush(kRegionShade)).get());
    case WM_PAINT:
      PaintSelection(window, *s);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool SelectRegion(RegionSelector& selector) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  WindowClass windowClass{kRegionSelectorClass, RegionSelectorProc, CS_HREDRAW | CS_VREDRAW, IDC_CROSS};
  windowClass.background = [] { return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)); };
  RegisterWindowClass(windowClass);

  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST, kRegionSelectorClass, L"Select Region", WS_POPUP, 0, 0,
                                width, height, nullptr, nullptr, module, &selector);
  if (!window) {
    UnregisterClassW(kRegionSelectorClass, module);
    return false;
  }
  SetLayeredWindowAttributes(window, 0, 128, LWA_ALPHA);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  RunLoopUntilClosed(window);
  if (IsWindow(window)) DestroyWindow(window);
  UnregisterClassW(kRegionSelectorClass, module);
  const RECT& r = selector.result;
  return HasArea({r.left, r.top, r.right, r.bottom});
}
