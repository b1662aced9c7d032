#pragma once
// What the fuzz targets share: their bytes read as values with LLVM's
// FuzzedDataProvider (shipped with clang), and a rule that must hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

// A broken rule: the fuzzer records the input that broke it.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : std::abort())

// One text unit per byte.
inline std::wstring Wide(const std::string& bytes) {
  std::wstring wide;
  for (const unsigned char byte : bytes) wide += static_cast<wchar_t>(byte);
  return wide;
}
