// The about window: five centred lines, closed only by its close box.
#include "app/AboutDialog.h"

#include <cwchar>

#include "app/MainWindow.h"
#include "app/ProductInfo.h"
#include "common/Win32Handles.h"
#include "ui/Theme.h"
#include "ui/Window.h"

namespace {

constexpr wchar_t kAboutClass[] = L"AboutDlg";
constexpr int kWidth = 340, kHeight = 180;

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return 0;
    }
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam),
                       reinterpret_cast<HBRUSH>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(210, 210, 215));
      return GetWindowLongPtrW(window, GWLP_USERDATA);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void ShowAboutDialog(HWND owner) {
  // One at a time.
  if (HWND open = FindWindowW(kAboutClass, nullptr)) {
    SetForegroundWindow(open);
    return;
  }
  unique_hbrush background(CreateSolidBrush(kWindowBackground));
  // No class brush: the window paints with the brush of its own opening.
  RegisterWindowClass({kAboutClass, AboutProc});

  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kAboutClass, L"About Quillomat",
                                WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 0, 0, kWidth, kHeight, owner, nullptr,
                                GetModuleHandleW(nullptr), background.get());
  // Without a window there is nothing to wait for.
  if (!window) return;
  PlaceCentredOver(window, owner, kWidth, kHeight);

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t rights[64];
  std::swprintf(rights, 64, L"\u00A9 %u Quillomat. All rights reserved.", now.wYear);
  const std::wstring version = std::wstring(L"Version ") + kProductVersion;
  const MainWindow& main = g_mainWindow;
  MakeControl(window, L"STATIC", kProductName, SS_CENTER, 0, 20, kWidth, 30, 0, main.titleFont.get());
  MakeControl(window, L"STATIC", version.c_str(), SS_CENTER, 0, 58, kWidth, 20, 0, main.semiboldFont.get());
  MakeControl(window, L"STATIC", L"Screen Recorder for Windows", SS_CENTER, 0, 84, kWidth, 18, 0,
              main.normalFont.get());
  MakeControl(window, L"STATIC", kVendorHost, SS_CENTER, 0, 108, kWidth, 18, 0, main.normalFont.get());
  MakeControl(window, L"STATIC", rights, SS_CENTER, 0, 132, kWidth, 18, 0, main.smallFont.get());

  RunLoopUntilClosed(window);
  // Still there when the program is ending: it goes before its brush does.
  if (IsWindow(window)) DestroyWindow(window);
}
