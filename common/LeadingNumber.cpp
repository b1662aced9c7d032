#include "common/LeadingNumber.h"

#include <cwctype>

LeadingNumber ReadLeadingNumber(const std::wstring& text) {
  LeadingNumber number;
  size_t i = 0;
  while (i < text.size() && std::iswspace(text[i])) ++i;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) number.negative = text[i++] == L'-';
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - L'0');
    if (number.magnitude > (UINT64_MAX - digit) / 10) number.wrapped = true;
    number.magnitude = number.magnitude * 10 + digit;
  }
  return number;
}
