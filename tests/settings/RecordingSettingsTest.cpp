#include "settings/RecordingSettings.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Store = std::map<std::wstring, StoredValue>;

RecordingSettings Read(const Store& store) {
  return ReadSettings([&store](const wchar_t* name, StoredValue& value) {
    const auto found = store.find(name);
    if (found == store.end()) return false;
    value = found->second;
    return true;
  });
}

Store Stored(const RecordingSettings& settings) {
  Store store;
  for (const auto& [name, value] : StoredValuesOf(settings)) store[name] = value;
  return store;
}

RecordingSettings TooLong() {
  RecordingSettings settings;
  settings.outputFolder.assign(kLongestStoredFolder + 1, L'f');
  settings.microphoneId.assign(kLongestStoredDeviceId + 1, L'm');
  return settings;
}

StoredValue Bytes(uint32_t type, std::vector<uint8_t> bytes) { return {type, std::move(bytes)}; }

}  // namespace

// Every choice comes back as it was kept; an empty store gives the defaults.
TEST(RecordingSettings, KeptChoicesComeBack) {
  EXPECT_TRUE(Read({}) == RecordingSettings{});
  const RecordingSettings chosen{L"D:\\Clips \u00E9t\u00E9", 3, L"{0.0.1.00000000}.{25da76d0}", false, true, 2, 60};
  EXPECT_TRUE(Read(Stored(chosen)) == chosen);
  RecordingSettings longest = TooLong();
  longest.outputFolder.pop_back();
  longest.microphoneId.pop_back();
  EXPECT_TRUE(Read(Stored(longest)) == longest);
}

// A value of the wrong type, out of range, too long or broken gives that
// setting's default, and only that one.
TEST(RecordingSettings, AValueThatIsNotValidGivesItsDefault) {
  const RecordingSettings chosen{L"D:\\Clips", 2, L"mic", false, true, 1, 60};
  const struct {
    const wchar_t* name;
    StoredValue value;
  } kCases[] = {
      {L"WebcamCorner", Bytes(kStoredNumber, {4, 0, 0, 0})},
      {L"WebcamCorner", Bytes(kStoredNumber, {0xFF, 0xFF, 0xFF, 0xFF})},
      {L"WebcamCorner", Bytes(kStoredText, {'2', 0, 0, 0})},
      {L"WebcamCorner", Bytes(kStoredNumber, {2, 0, 0})},  // three bytes
      {L"MicrophoneOn", Bytes(kStoredNumber, {2, 0, 0, 0})},
      {L"ComputerSound", Bytes(11 /* REG_QWORD */, {1, 0, 0, 0, 0, 0, 0, 0})},
      {L"Resolution", Bytes(kStoredNumber, {4, 0, 0, 0})},
      {L"FrameRate", Bytes(kStoredNumber, {45, 0, 0, 0})},
      {L"FrameRate", Bytes(kStoredNumber, {0, 0, 0, 0})},
      {L"OutputFolder", Bytes(kStoredNumber, {1, 0, 0, 0})},
      {L"OutputFolder", Bytes(kStoredText, {'C', 0, ':'})},            // half a character
      {L"OutputFolder", Bytes(kStoredText, {'C', 0, 0, 0, 'D', 0})},  // two texts
      {L"OutputFolder", Stored(TooLong())[L"OutputFolder"]},
      {L"Microphone", Stored(TooLong())[L"Microphone"]},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    Store store = Stored(chosen);
    store[c.name] = c.value;
    const RecordingSettings read = Read(store);
    store.erase(c.name);  // as if it were not there at all
    EXPECT_TRUE(read == Read(store));
    EXPECT_FALSE(read == chosen);
  }
  // A text without its terminator, or with several, is still the text.
  Store store = Stored(chosen);
  store[L"OutputFolder"] = Bytes(kStoredText, {'E', 0, ':', 0});
  store[L"Microphone"] = Bytes(kStoredText, {'m', 0, 0, 0, 0, 0});
  EXPECT_EQ(Read(store).outputFolder, L"E:");
  EXPECT_EQ(Read(store).microphoneId, L"m");
}
