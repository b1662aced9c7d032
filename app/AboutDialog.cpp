// The about window: five centred lines, closed only by its close box.
#include "app/AboutDialog.h"

#include <cwchar>
#include <string>

#include "common/ProductInfo.h"
#include "common/Win32Handles.h"
#include "ui/Theme.h"
#include "ui/Window.h"

namespace {

constexpr wchar_t kAboutClass[] = L"AboutDlg";
constexpr int kWidth = 340;
constexpr WindowFrame kFrame{kWidth, 180, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                             WS_EX_DLGMODALFRAME | WS_EX_TOPMOST};

enum AboutFont { kTitleFont, kSemiboldFont, kNormalFont, kSmallFont };
const FontSpec kFonts[] = {{24, FW_BOLD}, {14, FW_SEMIBOLD}, {14, FW_NORMAL}, {12, FW_NORMAL}};
enum AboutLine { kNameLine, kVersionLine, kDescriptionLine, kHostLine, kRightsLine };
// Centred over the window's whole outer width, which is a little wider than
// its client area.
const ControlSpec kLines[] = {
    {L"STATIC", kProductName, SS_CENTER, 0, 20, kWidth, 30, 0, kTitleFont},
    {L"STATIC", nullptr, SS_CENTER, 0, 58, kWidth, 20, 0, kSemiboldFont},
    {L"STATIC", L"Screen Recorder for Windows", SS_CENTER, 0, 84, kWidth, 18, 0, kNormalFont},
    {L"STATIC", kVendorHost, SS_CENTER, 0, 108, kWidth, 18, 0, kNormalFont},
    {L"STATIC", nullptr, SS_CENTER, 0, 132, kWidth, 18, 0, kSmallFont},
};

// One opening of the window; lives on the opener's stack, which outlives it.
struct AboutWindow {
  HWND window = nullptr;
  unique_hbrush background{CreateSolidBrush(kWindowBackground)};
  ScaledLayout layout;
};

void OnCreate(AboutWindow& about, UINT dpi) {
  about.layout.Create(about.window, dpi, kLines, kFonts);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t rights[64];
  std::swprintf(rights, 64, L"\u00A9 %u " QM_PRODUCT_NAME ". All rights reserved.", now.wYear);
  SetWindowTextW(about.layout.control(kRightsLine), rights);
  SetWindowTextW(about.layout.control(kVersionLine), (std::wstring(L"Version ") + kProductVersion).c_str());
}

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  AboutWindow* about = WindowState<AboutWindow>(window, message, lParam);
  if (!about) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      OnCreate(*about, DpiOf(window));
      return 0;
    case WM_GETDPISCALEDSIZE:
      return SuggestScaledSize(kFrame, wParam, lParam);
    case WM_DPICHANGED:
      about->layout.TakeNewScale(wParam, lParam);
      return 0;
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam), about->background.get());
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), kAboutTextColour);
      return reinterpret_cast<LRESULT>(about->background.get());
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void ShowAboutDialog(HWND owner) {
  // One at a time.
  if (HWND open = FindOwnWindow(kAboutClass)) {
    SetForegroundWindow(open);
    return;
  }
  AboutWindow about;
  // No class brush: the window paints with the brush of its own opening.
  RegisterWindowClass({kAboutClass, AboutProc});

  // Made where it goes, centred over its owner, at the scale of the owner's
  // monitor: made elsewhere and moved there, it would be scaled again.
  const SIZE size = ScaledWindowSize(kFrame, DpiOf(owner));
  const PixelPoint at = CentredOverWindow(owner, size.cx, size.cy);
  HWND window = CreateWindowExW(kFrame.exStyle, kAboutClass, L"About " QM_PRODUCT_NAME, kFrame.style, at.x, at.y, size.cx,
                                size.cy, owner, nullptr, GetModuleHandleW(nullptr), &about);
  // Without a window there is nothing to wait for.
  if (!window) return;

  RunLoopUntilClosed(window);
  // Still there when the program is ending: it goes before its state does.
  if (IsWindow(window)) DestroyWindow(window);
}
