#pragma once
// The texts the main window shows, kept free of the platform.
#include <cstdint>
#include <string>

#include "common/ProductInfo.h"
#include "recorder/RecorderTypes.h"

// "hh:mm:ss", hours from 100 on with three digits or more.
std::wstring FormatDuration(uint64_t milliseconds);

enum class DurationTimer { Start, Kill };

struct StatusDisplay {
  std::wstring status;  // the status line
  std::wstring tip;     // the notification-area tip
  DurationTimer timer = DurationTimer::Kill;  // the once-a-second refresh of the duration
};

// What the status line, the tip and the duration timer show for the
// engine's state and how long its recording has recorded (which stands
// still during a pause).
StatusDisplay DisplayFor(RecorderState state, uint64_t recordedMs);

// The notification-area balloon once a recording's file is finished: its
// title, and its text: the file's name, then how long and how large it is.
inline constexpr wchar_t kSavedTitle[] = L"Recording saved";
std::wstring SavedText(const std::wstring& fileName, uint64_t recordedMs, uint64_t bytes);
// The same for a recording a crash had left unfinished, finished at this start.
inline constexpr wchar_t kRecoveredTitle[] = L"Recording recovered";
// In the status line when such a recording could not be finished.
std::wstring RecoveryFailedText(const std::wstring& fileName);
// The item in the "&File" menu and the tray menu that opens the folder.
inline constexpr wchar_t kOpenFolderItem[] = L"Open Recordings Folder";

inline constexpr wchar_t kStatusReady[] = L"Ready to Record";
inline constexpr wchar_t kStatusRecordingPrefix[] = L"Recording: ";
inline constexpr wchar_t kTipReady[] = L"" QM_PRODUCT_NAME " - Ready";
inline constexpr wchar_t kTipRecording[] = L"" QM_PRODUCT_NAME " - Recording";
inline constexpr wchar_t kTipPaused[] = L"" QM_PRODUCT_NAME " - Paused";
inline constexpr wchar_t kTrayDurationPrefix[] = L"Duration: ";
// The switch of the computer's sound, in the "&File" menu and the tray menu.
inline constexpr wchar_t kComputerSoundItem[] = L"Record Computer Sound";
// After the duration in the status line while a recording runs without the
// microphone or the computer's sound that was asked for.
inline constexpr wchar_t kStatusNoMicrophone[] = L" - microphone missing";
inline constexpr wchar_t kStatusNoComputerSound[] = L" - computer sound missing";
// Likewise while the microphone chosen in the settings is not there and the
// default one is recorded in its place.
inline constexpr wchar_t kStatusDefaultMicrophone[] = L" - chosen microphone missing, recording the default";
// After the status line's text once the camera shown was lost, until the
// webcam is switched on again.
inline constexpr wchar_t kStatusWebcamLost[] = L" - webcam lost";
// After the duration while an update, verified during the recording, waits
// for the user to stop it (the record button is "Stop" then).
inline constexpr wchar_t kStatusUpdateReady[] = L" - update installs on Stop";

// Why nothing is recording, in the status line: the folder's faults, found
// before a start, and the engine's.
inline constexpr wchar_t kStatusFolderTooLong[] = L"Folder path too long: choose a shorter folder";
inline constexpr wchar_t kStatusFolderNotWritable[] = L"Cannot write to the output folder";
inline constexpr wchar_t kStatusDiskFull[] = L"Not enough free space in the output folder";
// Empty for RecorderProblem::None.
std::wstring ProblemText(RecorderProblem problem);

// What a press of each button of the row does now: its tip and its name for
// screen readers. The record and pause buttons name their global hotkey, or
// say that another program holds it.
struct ButtonNames {
  std::wstring record, pause, fullScreen, region, microphone, webcam;
};
ButtonNames NamesFor(RecorderState state, bool microphoneOn, bool webcamOn, bool recordHotkey, bool pauseHotkey);
