// Texts built from what the version service and the download's headers
// say: the Content-Length, the progress line, the offer.
#include "tests/fuzz/FuzzInput.h"
#include "update/UpdateText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t received = in.ConsumeIntegral<uint32_t>(), total = in.ConsumeIntegral<uint32_t>();
  DownloadProgressText(received, total);
  ParseContentLength(Wide(in.ConsumeRandomLengthString()));

  const std::wstring version = Wide(in.ConsumeRandomLengthString()), changelog = Wide(in.ConsumeRemainingBytesAsString());
  const std::wstring offer = ComposeOfferText(version, changelog);
  // However long the changelog, the offer shows at most its first 2,000 units.
  FUZZ_CHECK(offer.size() <= version.size() + kMaxChangelogUnits + 128);
  return 0;
}
