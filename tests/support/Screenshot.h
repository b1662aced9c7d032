#pragma once
#include <windows.h>

#include <string>

// Writes a bitmap as a PNG file (GDI+ is started for the call).
bool SavePng(HBITMAP bitmap, const std::wstring& path);

// Saves the on-screen part of `area` as QM_SCREENSHOT_DIR\<name>.png, for
// people to look at. True when saved, or when no folder is named.
bool SaveScreenshot(const RECT& area, const wchar_t* name);
