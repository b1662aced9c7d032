#pragma once
// The decimal number at the start of a text. Platform-free.
#include <cstdint>
#include <string>

// As the C runtime's _wtoi family finds it: white space, an optional sign,
// then digits up to the first other character (no digits: 0). The magnitude
// is kept modulo 2^64 with a flag for having gone past, because what a number
// too large becomes is the caller's to say: a version number saturates, a
// download length keeps its low bits.
struct LeadingNumber {
  bool negative = false;
  uint64_t magnitude = 0;
  bool wrapped = false;
};

LeadingNumber ReadLeadingNumber(const std::wstring& text);
