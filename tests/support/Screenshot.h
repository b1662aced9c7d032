#pragma once
#include <windows.h>

#include <string>

// Writes a bitmap as a PNG file (GDI+ is started for the call).
bool SavePng(HBITMAP bitmap, const std::wstring& path);
