#include "update/UpdateText.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdateText, OfferText) {
  EXPECT_EQ(ComposeOfferText(L"1.2.0", L""),
            L"A new version is available: 1.2.0\n\nClick OK to download and install, or Cancel to skip.");
  // A changelog of any length shows as its first 2,000 units.
  EXPECT_EQ(ComposeOfferText(L"2", std::wstring(2500, L'x')),
            L"A new version is available: 2\n\nWhat's new:\n" + std::wstring(2000, L'x') +
                L"\u2026\n\nClick OK to download and install, or Cancel to skip.");
}

TEST(UpdateText, ProgressAndLength) {
  EXPECT_EQ(DownloadProgressText(1048576, 2500000), L"Downloading... 1024 / 2441 KB");
  EXPECT_EQ(DownloadProgressText(1000, 0), L"Downloading... 0 KB");
  EXPECT_EQ(ParseContentLength(L"abc"), 0u);
  EXPECT_EQ(ParseContentLength(L" 12x"), 12u);
  EXPECT_EQ(ParseContentLength(L"4294967297"), 1u);  // the low 32 bits
}

TEST(UpdateText, InstallerPathIsNeverCutShort) {
  EXPECT_EQ(InstallerPath(L"C:\\Temp\\"), L"C:\\Temp\\Quillomat-Setup.exe");
  const std::wstring longest(259 - 19, L'x');  // 240 + 19 = 259 units and the terminator
  EXPECT_EQ(InstallerPath(longest).size(), 259u);
  EXPECT_EQ(InstallerPath(longest + L"y"), L"");
  EXPECT_EQ(InstallerPath(L""), L"");
}

}  // namespace
