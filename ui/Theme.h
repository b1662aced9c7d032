#pragma once
// The one dark colour scheme of every window.
#include <windows.h>

constexpr COLORREF kWindowBackground = RGB(45, 45, 48);
