#pragma once
// The user's recording choices, for the life of the process (never stored).
#include <string>
#include <vector>

struct RecordingSettings {
  int resolutionIndex = 0;   // 0 1080p, 1 2K, 2 4K
  int audioDeviceIndex = 0;  // 0 "No Audio", k the k-th device listed
  int webcamPosition = 0;    // 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right
};

// What the settings window is given and gives back.
struct SettingsDialogData {
  RecordingSettings settings;
  bool applied = false;
  std::vector<std::wstring> audioDeviceNames;
};
