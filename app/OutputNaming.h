#pragma once
// Names of recording files. Platform-free.
#include <functional>
#include <string>

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "Quillomat_YYYYMMDD_HHMMSS.mp4" from the local time.
std::wstring OutputFileName(const LocalTime& time);

// folder + "\" + name; the separator is added even after a drive root.
std::wstring OutputPath(const std::wstring& folder, const std::wstring& fileName);

// The path for a recording started at `time` that names no existing file:
// the plain name when it is free, else the name with _2, _3, ... before the
// extension. The writer replaces what it finds, so an existing recording
// must never be named again. Empty when no free name is found.
std::wstring UniqueOutputPath(const std::wstring& folder, const LocalTime& time,
                              const std::function<bool(const std::wstring&)>& exists);
