// Offered versions: the comparison on any three texts.
#include "tests/fuzz/FuzzInput.h"
#include "update/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::wstring a = Wide(in.ConsumeRandomLengthString()), b = Wide(in.ConsumeRandomLengthString()),
                     c = Wide(in.ConsumeRemainingBytesAsString());
  for (const std::wstring* text : {&a, &b, &c}) FUZZ_CHECK(!IsNewerVersion(*text, *text));
  // An order: never newer both ways, and newer than newer is newer.
  FUZZ_CHECK(!(IsNewerVersion(a, b) && IsNewerVersion(b, a)));
  if (IsNewerVersion(a, b) && IsNewerVersion(b, c)) FUZZ_CHECK(IsNewerVersion(a, c));
  return 0;
}
