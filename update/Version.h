#pragma once
// Dotted version numbers. Platform-free.
#include <string>
#include <vector>

inline constexpr wchar_t kCurrentVersion[] = L"1.0.0";

// The numbers between the dots, each read like _wtoi (blanks, a sign, then
// digits; 0 without digits), padded with zeros to at least three.
std::vector<int> ParseVersion(const std::wstring& text);

// True when the first three numbers of `candidate` are greater than those of
// `reference`, compared in order; further numbers are not looked at.
bool IsNewerVersion(const std::wstring& candidate, const std::wstring& reference);
