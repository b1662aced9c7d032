#pragma once
#include <windows.h>

// Opens the about window over the owner and returns once it is closed.
void ShowAboutDialog(HWND owner);
