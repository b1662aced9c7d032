#include "ui/Window.h"

#include "ui/WindowGeometry.h"

bool RegisterWindowClass(const WindowClass& windowClass) {
  HINSTANCE instance = windowClass.instance ? windowClass.instance : GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, windowClass.name, &existing)) return true;

  WNDCLASSEXW registered{};
  registered.cbSize = sizeof(registered);
  registered.style = windowClass.style;
  registered.lpfnWndProc = windowClass.procedure;
  registered.hInstance = instance;
  if (windowClass.icon) registered.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(windowClass.icon));
  if (windowClass.cursor) registered.hCursor = LoadCursorW(nullptr, windowClass.cursor);
  if (windowClass.background) registered.hbrBackground = windowClass.background();
  if (windowClass.menu) registered.lpszMenuName = MAKEINTRESOURCEW(windowClass.menu);
  registered.lpszClassName = windowClass.name;
  if (windowClass.smallIcon) registered.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(windowClass.smallIcon));
  return RegisterClassExW(&registered) != 0;
}

LoopEnd RunLoopUntil(const std::function<bool()>& ended, HANDLE handle, int& quitCode) {
  for (;;) {
    MSG message;
    // Sent messages are handled inside PeekMessageW; posted ones here.
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitCode = static_cast<int>(message.wParam);
        return LoopEnd::Quit;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (ended()) return LoopEnd::Ended;
    }
    if (ended()) return LoopEnd::Ended;
    const DWORD woke = MsgWaitForMultipleObjectsEx(handle ? 1 : 0, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (handle && woke == WAIT_OBJECT_0) return LoopEnd::Signalled;
    if (woke == WAIT_FAILED) return LoopEnd::Ended;
  }
}

void RunLoopUntilClosed(HWND window) {
  int quitCode = 0;
  if (RunLoopUntil([window] { return !IsWindow(window); }, nullptr, quitCode) == LoopEnd::Quit) {
    PostQuitMessage(quitCode);
  }
}

LRESULT EraseWith(HWND window, HDC dc, HBRUSH brush) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, brush);
  return 1;
}

HWND MakeControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                 int height, int id, HFONT font) {
  // The parent's module: every window of the program is made with its own.
  const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  HWND control = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
  if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return control;
}

unique_hfont MakeFont(int height, int weight) {
  return unique_hfont(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI"));
}

unique_hfont SystemFontAt(UINT dpi) {
  const UINT sessionDpi = GetDpiForSystem();
  if (dpi == static_cast<UINT>(kBaseDpi) && sessionDpi == dpi) return unique_hfont();
  LOGFONTW system{};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(system), &system);
  return MakeFont(MulDiv(system.lfHeight, static_cast<int>(dpi), static_cast<int>(sessionDpi)), system.lfWeight);
}

UINT DpiOf(HWND window) {
  const UINT dpi = GetDpiForWindow(window);
  return dpi ? dpi : static_cast<UINT>(kBaseDpi);
}

SIZE ScaledWindowSize(const WindowFrame& f, UINT dpi) {
  RECT atBase{0, 0, 0, 0}, atDpi{0, 0, 0, 0};
  AdjustWindowRectExForDpi(&atBase, f.style, f.menu, f.exStyle, kBaseDpi);
  AdjustWindowRectExForDpi(&atDpi, f.style, f.menu, f.exStyle, dpi);
  const int dpiValue = static_cast<int>(dpi);
  const int clientWidth = ScaleForDpi(f.width - (atBase.right - atBase.left), dpiValue);
  const int clientHeight = ScaleForDpi(f.height - (atBase.bottom - atBase.top), dpiValue);
  return {clientWidth + atDpi.right - atDpi.left, clientHeight + atDpi.bottom - atDpi.top};
}

LRESULT SuggestScaledSize(const WindowFrame& frame, WPARAM dpi, LPARAM size) {
  *reinterpret_cast<SIZE*>(size) = ScaledWindowSize(frame, static_cast<UINT>(dpi));
  return TRUE;
}

void TakeSuggestedRect(HWND window, LPARAM lParam) {
  const RECT& r = *reinterpret_cast<const RECT*>(lParam);
  SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ScaledLayout::Create(HWND parent, UINT dpi) {
  parent_ = parent;
  dpi_ = dpi;
  MakeFonts();
  made_.clear();
  for (size_t i = 0; i < controlCount_; ++i) {
    const ControlSpec& c = controls_[i];
    made_.push_back(MakeControl(parent, c.className, c.text, c.style, Scale(c.x), Scale(c.y), Scale(c.width),
                                Scale(c.height), c.id, font(c.font)));
  }
}

void ScaledLayout::Rescale(UINT dpi) {
  dpi_ = dpi;
  // The controls let go of the old fonts before those are deleted.
  std::vector<unique_hfont> old = std::move(fonts_);
  MakeFonts();
  for (size_t i = 0; i < made_.size(); ++i) {
    const ControlSpec& c = controls_[i];
    SetWindowPos(made_[i], nullptr, Scale(c.x), Scale(c.y), Scale(c.width), Scale(c.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (c.font != kNoFont) SendMessageW(made_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font(c.font)), TRUE);
  }
}

void ScaledLayout::TakeNewScale(WPARAM wParam, LPARAM lParam) {
  TakeSuggestedRect(parent_, lParam);
  Rescale(HIWORD(wParam));
}

void ScaledLayout::Clear() {
  made_.clear();
  fonts_.clear();
}

int ScaledLayout::Scale(int value) const { return ScaleForDpi(value, static_cast<int>(dpi_)); }

void ScaledLayout::MakeFonts() {
  fonts_.clear();
  for (size_t i = 0; i < fontCount_; ++i) {
    const FontSpec& f = fontSpecs_[i];
    fonts_.push_back(f.height ? MakeFont(Scale(f.height), f.weight) : SystemFontAt(dpi_));
  }
}

PixelPoint CentredOverWindow(HWND owner, int width, int height) {
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  return CentredOver({ownerRect.left, ownerRect.top, ownerRect.right, ownerRect.bottom}, width, height);
}

HWND FindOwnWindow(const wchar_t* className) {
  struct Search {
    const wchar_t* className;
    HWND found;
  } search{className, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (lstrcmpiW(name, s.className) != 0) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}
