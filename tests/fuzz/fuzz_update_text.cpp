// Texts built from what the version service and the download's headers
// say: the Content-Length, the progress line, the offer.
#include <cwchar>

#include "tests/fuzz/FuzzInput.h"
#include "update/UpdateText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t received = in.ConsumeIntegral<uint32_t>(), total = in.ConsumeIntegral<uint32_t>();
  const std::wstring progress = DownloadProgressText(received, total);
  FUZZ_CHECK(progress.size() < 64 && progress.compare(0, 15, L"Downloading... ") == 0);

  const std::wstring length = Wide(in.ConsumeRandomLengthString());
  const uint32_t parsed = ParseContentLength(length);
  // Digits alone are read as the number's low 32 bits.
  if (!length.empty() && length.size() <= 9 && length.find_first_not_of(L"0123456789") == std::wstring::npos) {
    FUZZ_CHECK(parsed == static_cast<uint32_t>(std::wcstoul(length.c_str(), nullptr, 10)));
  }

  const std::wstring version = Wide(in.ConsumeRandomLengthString()), changelog = Wide(in.ConsumeRemainingBytesAsString());
  const std::wstring offer = ComposeOfferText(version, changelog);
  // However long the changelog, the offer shows at most its first 2,000 units.
  FUZZ_CHECK(offer.size() <= version.size() + kMaxChangelogUnits + 128);
  return 0;
}
