#pragma once
// What every window of the program does alike: its class, the loop it waits
// in, its background, its child controls and fonts, and its place.
#include <windows.h>

#include <functional>
#include <optional>

#include "common/Win32Handles.h"

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

// The loop of a window that waits for its own end, the quit its WM_DESTROY
// posts. `stopsAt`, when given, sees each message first and ends the loop at
// one, undispatched. Returns the exit code of a WM_QUIT that ended the loop,
// which a loop not started for it must pass on; none when something else did.
std::optional<int> RunNestedLoop(const std::function<bool(const MSG&)>& stopsAt = nullptr);

// WM_ERASEBKGND for a window of one colour: the client area in `brush`.
LRESULT EraseWith(HWND window, HDC dc, HBRUSH brush);

// A visible child control, with its font when one is given.
HWND MakeControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                 int height, int id = 0, HFONT font = nullptr);

// The program's typeface at a cell height and weight.
unique_hfont MakeFont(int height, int weight);

// Moves `window` (width x height) so that it is centred over `owner`.
void PlaceCentredOver(HWND window, HWND owner, int width, int height);
