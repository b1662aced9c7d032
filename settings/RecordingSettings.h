#pragma once
// The user's recording choices, kept per user between starts, and how they
// are read back from what was stored. Platform-free: no <windows.h> here.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The "Recording Resolution" list: the largest video a recording makes.
struct VideoSizeChoice {
  const wchar_t* text;
  int32_t maxWidth, maxHeight;  // 0 x 0: the rectangle's own size
};
inline constexpr VideoSizeChoice kVideoSizes[] = {
    {L"Own size  (as recorded)", 0, 0},
    {L"1080p  (1920\u00D71080)", 1920, 1080},
    {L"2K  (2560\u00D71440)", 2560, 1440},
    {L"4K  (3840\u00D72160)", 3840, 2160},
};
// The "Frame Rate" list.
inline constexpr uint32_t kFrameRates[] = {30, 60};
inline constexpr int kWebcamCorners = 4;  // top-left, top-right, bottom-left, bottom-right

struct RecordingSettings {
  std::wstring outputFolder;      // empty: the default folder
  int webcamPosition = 0;         // 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right
  std::wstring microphoneId;      // the capture endpoint's id; empty: the system's default
  bool microphoneOn = true;
  bool computerSound = false;
  int resolutionIndex = 0;        // into kVideoSizes
  uint32_t framesPerSecond = 30;  // one of kFrameRates

  bool operator==(const RecordingSettings& other) const;
};

// One value as the store holds it: its type (the registry's numbers) and bytes.
inline constexpr uint32_t kStoredText = 1;    // REG_SZ, UTF-16LE
inline constexpr uint32_t kStoredNumber = 4;  // REG_DWORD, 32-bit little-endian
struct StoredValue {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
};
// The longest text kept: a folder (a path Windows' own dialogs give), and a
// device id (Windows' are some 55 characters).
inline constexpr size_t kLongestStoredFolder = 260, kLongestStoredDeviceId = 512;

// The value of that name; false when there is none.
using StoredValueReader = std::function<bool(const wchar_t* name, StoredValue& value)>;
// Each setting from its stored value: one that is missing, of another type,
// out of range, too long or not a whole text gives that setting's default.
RecordingSettings ReadSettings(const StoredValueReader& read);
// Every setting as a named value, for the store.
std::vector<std::pair<const wchar_t*, StoredValue>> StoredValuesOf(const RecordingSettings& settings);
