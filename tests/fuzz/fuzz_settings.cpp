// The stored settings: any values under the known names, of any type and
// length, read as settings that are each within their choices.
#include <algorithm>
#include <map>

#include "settings/RecordingSettings.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::map<std::wstring, StoredValue> store;
  const RecordingSettings defaults;
  for (const auto& named : StoredValuesOf(defaults)) {
    if (!in.ConsumeBool()) continue;
    const uint32_t type = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 11) : kStoredText;
    const std::string bytes = in.ConsumeRandomLengthString(2 * kLongestStoredDeviceId + 8);
    store[named.first] = {type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
  }
  const RecordingSettings read = ReadSettings([&store](const wchar_t* name, StoredValue& value) {
    const auto found = store.find(name);
    if (found == store.end()) return false;
    value = found->second;
    return true;
  });
  FUZZ_CHECK(read.webcamPosition >= 0 && read.webcamPosition < kWebcamCorners);
  FUZZ_CHECK(read.resolutionIndex >= 0 && read.resolutionIndex < static_cast<int>(std::size(kVideoSizes)));
  FUZZ_CHECK(std::count(std::begin(kFrameRates), std::end(kFrameRates), read.framesPerSecond) == 1);
  FUZZ_CHECK(read.outputFolder.size() <= kLongestStoredFolder && read.microphoneId.size() <= kLongestStoredDeviceId);
  FUZZ_CHECK(read.outputFolder.find(L'\0') == std::wstring::npos);
  return 0;
}
