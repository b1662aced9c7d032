#pragma once
// What every window of the program does alike: its class, the loop it waits
// in, its background, its child controls and fonts, and its place.
#include <windows.h>

#include <functional>

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

// Moves `window` (width x height) so that it is centred over `owner`.
void PlaceCentredOver(HWND window, HWND owner, int width, int height);
