#pragma once
// Dotted version numbers. Platform-free.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ProductInfo.h"

// The running program's version, from the one place that also feeds the
// version resource.
inline constexpr wchar_t kCurrentVersion[] = L"" QM_VERSION_TEXT;

// The numbers between the dots, each read like _wtoi (blanks, a sign, then
// digits; 0 without digits), padded with zeros to at least three.
std::vector<int> ParseVersion(const std::wstring& text);

// An offered version as the service is to write it: 1 to 4 numbers of
// digits separated by dots, at most 32 characters in all.
bool IsWellFormedVersion(const std::wstring& text);

// True when the first three numbers of `candidate` are greater than those of
// `reference`, compared in order; further numbers are not looked at.
bool IsNewerVersion(const std::wstring& candidate, const std::wstring& reference);

// A well-formed version as a program's version resource holds it: four
// 16-bit numbers, the first in the highest bits, missing ones 0 ("1.2.0" is
// 1.2.0.0). None when a number does not fit in 16 bits.
std::optional<uint64_t> PackedVersion(const std::wstring& text);
