// The version service's answer, as the update check reads it: any bytes,
// with each key the program asks for.
#include "tests/fuzz/FuzzInput.h"
#include "update/JsonFields.h"

namespace {

// Well-formed UTF-8 (no check of overlong forms: the conversion replaces
// those).
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"available", "version", "changelog", "download_url"}) {
    JsonGetBool(text, key);
    const std::string value = JsonGetString(text, key);
    // A value is taken out of the answer, never made larger than it; and
    // unescaping never splits a character that came whole.
    FUZZ_CHECK(value.size() <= text.size());
    if (IsUtf8(text)) FUZZ_CHECK(IsUtf8(value));
  }
  return 0;
}
