#include "update/Version.h"

#include <climits>

#include "common/LeadingNumber.h"

namespace {

// Like _wtoi, except that out-of-range values saturate rather than wrap.
int ReadNumber(const std::wstring& piece) {
  const LeadingNumber number = ReadLeadingNumber(piece);
  if (number.wrapped || number.magnitude > static_cast<uint64_t>(INT_MAX)) return number.negative ? INT_MIN : INT_MAX;
  const int value = static_cast<int>(number.magnitude);
  return number.negative ? -value : value;
}

}  // namespace

std::vector<int> ParseVersion(const std::wstring& text) {
  std::vector<int> numbers;
  // Pieces as a line reader with "." as delimiter gives them: no trailing
  // empty piece after a final dot, none at all for an empty text.
  size_t start = 0;
  while (start < text.size()) {
    const size_t dot = text.find(L'.', start);
    const size_t end = dot == std::wstring::npos ? text.size() : dot;
    numbers.push_back(ReadNumber(text.substr(start, end - start)));
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  while (numbers.size() < 3) numbers.push_back(0);
  return numbers;
}

bool IsWellFormedVersion(const std::wstring& text) {
  if (text.empty() || text.size() > 32) return false;
  int numbers = 1;
  bool digitBefore = false;  // since the start or the last dot
  for (const wchar_t c : text) {
    if (c == L'.') {
      if (!digitBefore || ++numbers > 4) return false;
      digitBefore = false;
    } else if (c >= L'0' && c <= L'9') {
      digitBefore = true;
    } else {
      return false;
    }
  }
  return digitBefore;
}

bool IsNewerVersion(const std::wstring& candidate, const std::wstring& reference) {
  const std::vector<int> a = ParseVersion(candidate), b = ParseVersion(reference);
  for (size_t i = 0; i < 3; ++i) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return false;
}

std::optional<uint64_t> PackedVersion(const std::wstring& text) {
  if (!IsWellFormedVersion(text)) return std::nullopt;
  uint64_t packed = 0;
  std::vector<int> numbers = ParseVersion(text);
  numbers.resize(4, 0);
  for (const int number : numbers) {
    if (number > 0xFFFF) return std::nullopt;
    packed = packed << 16 | static_cast<uint64_t>(number);
  }
  return packed;
}
