// Offered versions: what is accepted, and the comparison on any three texts.
#include "tests/fuzz/FuzzInput.h"
#include "update/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const std::wstring a = FuzzInput::Wide(in.Piece('\n')), b = FuzzInput::Wide(in.Piece('\n')),
                     c = FuzzInput::Wide(in.Rest());
  for (const std::wstring* text : {&a, &b, &c}) {
    FUZZ_CHECK(ParseVersion(*text).size() >= 3);
    if (IsWellFormedVersion(*text)) {
      FUZZ_CHECK(text->size() <= 32 && text->find_first_not_of(L"0123456789.") == std::wstring::npos);
    }
    FUZZ_CHECK(!IsNewerVersion(*text, *text));
  }
  // An order: never newer both ways, and newer than newer is newer.
  FUZZ_CHECK(!(IsNewerVersion(a, b) && IsNewerVersion(b, a)));
  if (IsNewerVersion(a, b) && IsNewerVersion(b, c)) FUZZ_CHECK(IsNewerVersion(a, c));
  return 0;
}
