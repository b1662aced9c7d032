#include "settings/RecordingSettings.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr wchar_t kFolderName[] = L"OutputFolder", kCornerName[] = L"WebcamCorner", kMicrophoneName[] = L"Microphone",
                  kMicrophoneOnName[] = L"MicrophoneOn", kComputerSoundName[] = L"ComputerSound",
                  kVideoSizeName[] = L"Resolution", kFrameRateName[] = L"FrameRate";

bool ReadNumber(const StoredValueReader& read, const wchar_t* name, uint32_t& number) {
  StoredValue value;
  if (!read(name, value) || value.type != kStoredNumber || value.bytes.size() != 4) return false;
  number = static_cast<uint32_t>(value.bytes[0]) | static_cast<uint32_t>(value.bytes[1]) << 8 |
           static_cast<uint32_t>(value.bytes[2]) << 16 | static_cast<uint32_t>(value.bytes[3]) << 24;
  return true;
}

// A whole UTF-16 text: an even count of bytes, ended by its terminator or by
// the value's end, with nothing but terminators after it.
bool ReadText(const StoredValueReader& read, const wchar_t* name, size_t longest, std::wstring& text) {
  StoredValue value;
  if (!read(name, value) || value.type != kStoredText || value.bytes.size() % 2 != 0) return false;
  std::wstring units;
  bool ended = false;
  for (size_t i = 0; i < value.bytes.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(value.bytes[i] | value.bytes[i + 1] << 8);
    if (unit == 0) {
      ended = true;
    } else if (ended) {
      return false;  // text after the end: not one value
    } else {
      units += unit;
    }
  }
  if (units.size() > longest) return false;
  text = std::move(units);
  return true;
}

StoredValue Number(uint32_t number) {
  return {kStoredNumber,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number >> 16),
           static_cast<uint8_t>(number >> 24)}};
}

StoredValue Text(const std::wstring& text) {
  StoredValue value{kStoredText, {}};
  for (const wchar_t unit : text) {
    value.bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    value.bytes.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  value.bytes.insert(value.bytes.end(), {0, 0});
  return value;
}

}  // namespace

bool RecordingSettings::operator==(const RecordingSettings& other) const {
  return outputFolder == other.outputFolder && webcamPosition == other.webcamPosition &&
         microphoneId == other.microphoneId && microphoneOn == other.microphoneOn &&
         computerSound == other.computerSound && resolutionIndex == other.resolutionIndex &&
         framesPerSecond == other.framesPerSecond;
}

RecordingSettings ReadSettings(const StoredValueReader& read) {
  RecordingSettings settings;
  ReadText(read, kFolderName, kLongestStoredFolder, settings.outputFolder);
  ReadText(read, kMicrophoneName, kLongestStoredDeviceId, settings.microphoneId);
  uint32_t number = 0;
  if (ReadNumber(read, kCornerName, number) && number < kWebcamCorners) {
    settings.webcamPosition = static_cast<int>(number);
  }
  if (ReadNumber(read, kMicrophoneOnName, number) && number <= 1) settings.microphoneOn = number == 1;
  if (ReadNumber(read, kComputerSoundName, number) && number <= 1) settings.computerSound = number == 1;
  if (ReadNumber(read, kVideoSizeName, number) && number < std::size(kVideoSizes)) {
    settings.resolutionIndex = static_cast<int>(number);
  }
  if (ReadNumber(read, kFrameRateName, number) &&
      std::find(std::begin(kFrameRates), std::end(kFrameRates), number) != std::end(kFrameRates)) {
    settings.framesPerSecond = number;
  }
  return settings;
}

std::vector<std::pair<const wchar_t*, StoredValue>> StoredValuesOf(const RecordingSettings& settings) {
  return {{kFolderName, Text(settings.outputFolder)},
          {kCornerName, Number(static_cast<uint32_t>(settings.webcamPosition))},
          {kMicrophoneName, Text(settings.microphoneId)},
          {kMicrophoneOnName, Number(settings.microphoneOn ? 1 : 0)},
          {kComputerSoundName, Number(settings.computerSound ? 1 : 0)},
          {kVideoSizeName, Number(static_cast<uint32_t>(settings.resolutionIndex))},
          {kFrameRateName, Number(settings.framesPerSecond)}};
}
