#include "app/OutputNaming.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const LocalTime kTime{2026, 12, 5, 9, 30, 7};

TEST(OutputNaming, NameAndPath) {
  EXPECT_EQ(OutputFileName(kTime), L"Quillomat_20261205_093007.mp4");
  EXPECT_EQ(OutputPath(L"C:\\Users\\a\\Pictures\\Quillomat", L"x.mp4"), L"C:\\Users\\a\\Pictures\\Quillomat\\x.mp4");
  // A drive root keeps its own separator and gets one more.
  EXPECT_EQ(OutputPath(L"D:\\", L"x.mp4"), L"D:\\\\x.mp4");
}

TEST(OutputNaming, NeverNamesAnExistingFile) {
  std::set<std::wstring> files;
  auto exists = [&](const std::wstring& path) { return files.count(path) != 0; };
  const std::wstring folder = L"C:\\rec";
  // Three recordings started in the same second.
  for (const wchar_t* expected : {L"C:\\rec\\Quillomat_20261205_093007.mp4", L"C:\\rec\\Quillomat_20261205_093007_2.mp4",
                                  L"C:\\rec\\Quillomat_20261205_093007_3.mp4"}) {
    const std::wstring path = UniqueOutputPath(folder, kTime, exists);
    EXPECT_EQ(path, expected);
    files.insert(path);
  }
  // A gap left by a deleted file is used again.
  files.erase(L"C:\\rec\\Quillomat_20261205_093007_2.mp4");
  EXPECT_EQ(UniqueOutputPath(folder, kTime, exists), L"C:\\rec\\Quillomat_20261205_093007_2.mp4");
  // When every name is taken there is no path at all rather than an overwrite.
  EXPECT_EQ(UniqueOutputPath(folder, kTime, [](const std::wstring&) { return true; }), L"");
}

}  // namespace
