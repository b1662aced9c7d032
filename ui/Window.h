#pragma once
// What every window of the program does alike: its class, its state, the
// loop it waits in, its background, its child controls and fonts laid out at
// its display scale, and its place.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "common/Win32Handles.h"
#include "ui/WindowGeometry.h"

// The parts in which the program's window classes differ; the rest is zero.
struct WindowClass {
  const wchar_t* name = nullptr;
  WNDPROC procedure = nullptr;
  UINT style = 0;
  const wchar_t* cursor = IDC_ARROW;  // a system cursor, or none
  // Called only when the class is registered, so that a brush made for it
  // is made once and stays with the class.
  HBRUSH (*background)() = nullptr;
  HINSTANCE instance = nullptr;  // none: this program's module
  int icon = 0, smallIcon = 0, menu = 0;  // resource ids in `instance`
};

// Registers the class unless a class of that name is registered already
// (also after an UnregisterClassW). True when it is registered now.
bool RegisterWindowClass(const WindowClass& windowClass);

// The state object of a window of ours, `State*`: handed over as the last
// argument of CreateWindowExW, kept in the window's user data from
// WM_NCCREATE on (its `window` member set then), and let go with the window.
// Null for a window made without one, and for nothing else.
template <typename State>
State* WindowState(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* state = static_cast<State*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (state) state->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return state;
  }
  auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return state;
}

// Why RunLoopUntil returned.
enum class LoopEnd { Ended, Signalled, Quit };

// Dispatches every message of the thread, so that every window of it keeps
// working, until `ended()` holds (asked after each message, also after one
// sent from another thread) or `handle`, when given, is signalled. A quit
// taken here ends the loop too; its exit code is left in `quitCode`, and the
// caller must post it again for the loops below.
LoopEnd RunLoopUntil(const std::function<bool()>& ended, HANDLE handle, int& quitCode);

// The loop of a secondary window (about, settings, region overlay): until
// `window` is gone. Such windows end by being destroyed, never by a quit of
// their own, so windows opened inside each other's loops may close in any
// order. A quit taken here (the program is ending) is posted again.
void RunLoopUntilClosed(HWND window);

// WM_ERASEBKGND for a window of one colour: the client area in `brush`.
LRESULT EraseWith(HWND window, HDC dc, HBRUSH brush);

// A visible child control, with its font when one is given.
HWND MakeControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                 int height, int id = 0, HFONT font = nullptr);

// The program's typeface at a cell height and weight.
unique_hfont MakeFont(int height, int weight);

// The display scale of the monitor the window is on (96 is 100 %).
UINT DpiOf(HWND window);

// A top-level window's outer size at 96 DPI, and what its frame is drawn with.
struct WindowFrame {
  int width = 0, height = 0;
  DWORD style = 0, exStyle = 0;
  bool menu = false;
};

// The outer size of such a window at `dpi`: its client area scaled, inside
// the frame (and menu bar) as drawn at `dpi`. Exactly the given size at 96.
SIZE ScaledWindowSize(const WindowFrame& frame, UINT dpi);

// WM_GETDPISCALEDSIZE, asked before a window moves to a monitor of another
// scale: ScaledWindowSize at the new scale, not the outer size scaled (the
// frame does not grow in step). Returns TRUE for the message.
LRESULT SuggestScaledSize(const WindowFrame& frame, WPARAM dpi, LPARAM size);

// WM_DPICHANGED: the window takes the rectangle Windows suggests for its new
// monitor. The caller lays its contents out again at HIWORD(wParam).
void TakeSuggestedRect(HWND window, LPARAM lParam);

// The system font, which a control shows when it is given none, as it should
// look at `dpi`: none (the control's own) at 100 %; elsewhere the program's
// typeface at the system font's height and weight for that scale. The stock
// one is made for the scale the session began with, and as a bitmap font it
// is drawn at its one size whatever it says.
unique_hfont SystemFontAt(UINT dpi);

// One font of a window's table, at 96 DPI; height 0 is the system font.
struct FontSpec {
  int height = 0, weight = FW_NORMAL;
};
constexpr int kNoFont = -1;

// One child control of a window's table: its class, text, style and place
// at 96 DPI.
struct ControlSpec {
  const wchar_t* className = nullptr;
  const wchar_t* text = nullptr;  // null: the window fills it in
  DWORD style = 0;                // besides WS_CHILD | WS_VISIBLE
  int x = 0, y = 0, width = 0, height = 0;
  int id = 0;
  int font = kNoFont;  // index into the window's fonts
};

// A window's child controls and fonts, made from its tables at the window's
// display scale and laid out again at another one. Owns the fonts; the
// controls belong to their parent.
class ScaledLayout {
 public:
  // Makes the fonts and then the controls, in the table's order. The tables
  // outlive the layout.
  template <size_t Controls, size_t Fonts>
  void Create(HWND parent, UINT dpi, const ControlSpec (&controls)[Controls], const FontSpec (&fonts)[Fonts]) {
    controls_ = controls;
    controlCount_ = Controls;
    fontSpecs_ = fonts;
    fontCount_ = Fonts;
    Create(parent, dpi);
  }
  // New fonts at `dpi`, and every control moved, sized and given its font.
  void Rescale(UINT dpi);
  // WM_DPICHANGED: the parent takes the suggested rectangle, and the
  // controls the new scale.
  void TakeNewScale(WPARAM wParam, LPARAM lParam);
  // Lets go of the controls and deletes the fonts (the window is going).
  void Clear();

  HWND control(int index) const {
    return index >= 0 && index < static_cast<int>(made_.size()) ? made_[static_cast<size_t>(index)] : nullptr;
  }
  HFONT font(int index) const {
    return index >= 0 && index < static_cast<int>(fonts_.size()) ? fonts_[static_cast<size_t>(index)].get() : nullptr;
  }
  // A length given for 96 DPI at the layout's present scale.
  int Scale(int value) const;

 private:
  void Create(HWND parent, UINT dpi);
  void MakeFonts();
  HWND parent_ = nullptr;
  const ControlSpec* controls_ = nullptr;
  size_t controlCount_ = 0;
  const FontSpec* fontSpecs_ = nullptr;
  size_t fontCount_ = 0;
  UINT dpi_ = kBaseDpi;
  std::vector<HWND> made_;
  std::vector<unique_hfont> fonts_;
};

// Where a width x height window goes to be centred over `owner`.
PixelPoint CentredOverWindow(HWND owner, int width, int height);

// This thread's top-level window of the class, or null: the program's own
// (another program's window of the same class name is not ours to raise).
HWND FindOwnWindow(const wchar_t* className);
