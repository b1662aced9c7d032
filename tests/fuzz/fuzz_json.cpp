// The version service's answer, as the update check reads it: any bytes,
// with each key the program asks for. An escape that runs past the end of
// the answer is what the sanitizers are here for.
#include "tests/fuzz/FuzzInput.h"
#include "update/JsonFields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"available", "version", "changelog", "download_url"}) {
    JsonGetBool(text, key);
    JsonGetString(text, key);
  }
  return 0;
}
