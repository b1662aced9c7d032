#pragma once
// The "General Settings" window: resolution, frame rate, microphone and
// webcam corner.
#include <windows.h>

#include <functional>

#include "settings/RecordingSettings.h"

// Opens the window over the owner with the current settings and the input
// devices as they are now, and waits until it closes. Apply updates `current`
// (and moves an open webcam overlay to the new corner) and calls `applied` at
// once; true when the user applied. A second call while the window is open
// brings that window to the front and returns false.
bool ShowSettingsDialog(HWND owner, RecordingSettings& current, const std::function<void()>& applied);

inline constexpr wchar_t kSettingsClass[] = L"SettingsDlg";
inline constexpr int kResolutionListId = 30;
inline constexpr int kAudioListId = 31;
inline constexpr int kWebcamListId = 32;
inline constexpr int kFrameRateListId = 33;
// The microphone list's first entry, and the entry of a device chosen
// earlier that is not there now.
inline constexpr wchar_t kDefaultMicrophoneEntry[] = L"Default microphone";
inline constexpr wchar_t kAbsentMicrophoneEntry[] = L"Chosen microphone (not connected)";
inline constexpr int kApplyButtonId = 20;
inline constexpr int kCloseButtonId = 21;
