// The headers of a downloaded installer, as the update reads them to tell a
// whole program file from a cut-off one.
#include <vector>

#include "tests/fuzz/FuzzInput.h"
#include "update/ProgramImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the given bytes, so that a read past them is caught.
  const std::vector<unsigned char> headers(data, data + size);
  const uint64_t end = ProgramImageEnd(headers.data(), headers.size());
  // A program's end is never inside the headers that describe it.
  FUZZ_CHECK(end == 0 || end >= 0x40);
  // Read as unsigned only what reads as a program.
  FUZZ_CHECK(!HasNoCertificateTable(headers.data(), headers.size()) || end != 0);
  return 0;
}
