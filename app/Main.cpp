// Process entry: makes the engine and a first, plain main window.
#include <windows.h>

#include <memory>

#include "common/Win32Handles.h"
#include "recorder/ScreenRecorder.h"

namespace {

constexpr wchar_t kMainWindowClass[] = L"QUILLOMAT";
constexpr wchar_t kMainWindowTitle[] = L"quillomat";
constexpr COLORREF kBackground = RGB(45, 45, 48);
constexpr COLORREF kText = RGB(230, 230, 230);

struct MainWindowState {
  unique_hbrush background;
  unique_hfont titleFont;
  unique_hfont statusFont;
};

unique_hfont MakeFont(int height, int weight) {
  return unique_hfont(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));
}

void OnPaint(HWND window, MainWindowState& state) {
  PaintScope paint(window);
  RECT client;
  GetClientRect(window, &client);
  FillRect(paint.dc(), &client, state.background.get());
  SetBkMode(paint.dc(), TRANSPARENT);
  SetTextColor(paint.dc(), kText);
  {
    SelectObjectScope font(paint.dc(), state.titleFont.get());
    RECT title{0, 10, client.right, 42};
    DrawTextW(paint.dc(), L"Quillomat", -1, &title, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObjectScope font(paint.dc(), state.statusFont.get());
  RECT status{0, 120, client.right, 160};
  DrawTextW(paint.dc(), L"Ready to Record", -1, &status, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<MainWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_PAINT:
      if (state) {
        OnPaint(window, *state);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      if (g_recorder) g_recorder->Stop();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

  auto recorder = std::make_unique<ScreenRecorder>();
  g_recorder = recorder.get();

  MainWindowState state;
  state.background.reset(CreateSolidBrush(kBackground));
  state.titleFont = MakeFont(24, FW_BOLD);
  state.statusFont = MakeFont(22, FW_BOLD);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = state.background.get();
  windowClass.lpszClassName = kMainWindowClass;
  if (!RegisterClassExW(&windowClass)) return 1;

  HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 520, 310, nullptr, nullptr, instance, &state);
  if (!window) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  g_recorder = nullptr;
  recorder.reset();
  return 0;
}
