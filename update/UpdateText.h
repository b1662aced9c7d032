#pragma once
// Texts and numbers of the update offer and download. Platform-free.
#include <cstdint>
#include <string>

#include "common/ProductInfo.h"

inline constexpr wchar_t kInstallerName[] = L"" QM_PRODUCT_NAME "-Setup.exe";
inline constexpr size_t kMaxPathUnits = 260;  // with the terminator

// The offer: version line, the changelog when there is one (cut to
// kMaxChangelogUnits, never inside a character), the question.
inline constexpr size_t kMaxChangelogUnits = 2000;
std::wstring ComposeOfferText(const std::wstring& version, const std::wstring& changelog);

// "Downloading... R / T KB", or "Downloading... R KB" when the total is unknown.
std::wstring DownloadProgressText(uint32_t received, uint32_t total);

// The Content-Length text as the download's total: its decimal value's low
// 32 bits, 0 when it has none.
uint32_t ParseContentLength(const std::wstring& text);

// The temporary folder (ending in a separator) + the installer's name; empty
// when that does not fit a path buffer: never cut short.
std::wstring InstallerPath(const std::wstring& tempFolder);
