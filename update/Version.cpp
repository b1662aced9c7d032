#include "update/Version.h"

#include <climits>
#include <cwctype>

namespace {

// Like _wtoi: leading white space, an optional sign, decimal digits up to the
// first other character. Out-of-range values saturate rather than wrap.
int ReadNumber(const std::wstring& piece) {
  size_t i = 0;
  while (i < piece.size() && std::iswspace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == L'+' || piece[i] == L'-')) negative = piece[i++] == L'-';
  long long value = 0;
  for (; i < piece.size() && piece[i] >= L'0' && piece[i] <= L'9'; ++i) {
    value = value * 10 + (piece[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
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

bool IsNewerVersion(const std::wstring& candidate, const std::wstring& reference) {
  const std::vector<int> a = ParseVersion(candidate), b = ParseVersion(reference);
  for (size_t i = 0; i < 3; ++i) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return false;
}
