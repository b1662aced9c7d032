#include "app/OutputNaming.h"

#include <cwchar>

#include "common/ProductInfo.h"

namespace {
constexpr int kMaxCounter = 9999;

std::wstring Stem(const LocalTime& t) {
  wchar_t text[64];
  std::swprintf(text, 64, L"" QM_PRODUCT_NAME "_%04d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}
}  // namespace

std::wstring OutputFileName(const LocalTime& time) { return Stem(time) + L".mp4"; }

std::wstring OutputPath(const std::wstring& folder, const std::wstring& fileName) {
  return folder + L"\\" + fileName;
}

std::wstring UniqueOutputPath(const std::wstring& folder, const LocalTime& time,
                              const std::function<bool(const std::wstring&)>& exists) {
  std::wstring path = OutputPath(folder, OutputFileName(time));
  for (int counter = 2; exists(path); ++counter) {
    if (counter > kMaxCounter) return {};
    path = OutputPath(folder, Stem(time) + L"_" + std::to_wstring(counter) + L".mp4");
  }
  return path;
}
