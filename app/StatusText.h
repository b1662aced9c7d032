#pragma once
// What the main window shows, kept free of the platform: its texts, and the
// whole of its face for the engine's state and the user's switches.
#include <cstdint>
#include <string>

#include "common/ProductInfo.h"
#include "recorder/RecorderTypes.h"

// "hh:mm:ss", hours from 100 on with three digits or more.
std::wstring FormatDuration(uint64_t milliseconds);

enum class DurationTimer { Start, Kill };

// The pictures of the button row, in the order they are built.
enum ButtonPicture {
  kPictureRecord,
  kPicturePause,
  kPictureResume,
  kPictureStop,
  kPictureRegion,
  kPictureFullScreen,
  kPictureMicOn,
  kPictureMicOff,
  kPicturePauseDimmed,
  kPictureWebcamOn,
  kPictureWebcamOff,
  kPictureCount,
};

// What a press of each button of the row does now: its tip and its name for
// screen readers. The record and pause buttons name their global hotkey, or
// say that another program holds it.
struct ButtonNames {
  std::wstring record, pause, fullScreen, region, microphone, webcam;
};

// All that the main window's face depends on.
struct WindowFacts {
  RecorderState state = RecorderState::Idle;
  uint64_t recordedMs = 0;  // stands still during a pause
  bool microphoneOn = true, computerSound = false, webcamOn = false;
  bool webcamLost = false;          // the camera went while shown
  bool microphoneMissing = false;   // a source asked for has no device now
  bool computerSoundMissing = false;
  bool microphoneStandsIn = false;  // the default microphone records for the chosen one
  bool updateWaiting = false;       // a verified update installs on Stop
  bool settingsNotSaved = false;    // the last change of the settings could not be kept
  // The global hotkeys' names, and whether this program holds them.
  const wchar_t* recordKeys = L"";
  const wchar_t* pauseKeys = L"";
  bool recordHotkey = true, pauseHotkey = true;
};

struct WindowView {
  std::wstring status;  // the status line
  std::wstring tip;     // the notification-area tip
  DurationTimer timer = DurationTimer::Kill;  // the once-a-second refresh of the duration
  ButtonNames names;
  ButtonPicture record = kPictureRecord, pause = kPicturePauseDimmed, microphone = kPictureMicOn,
                webcam = kPictureWebcamOff;
  // The folder, its browser and the computer sound's switch can be changed,
  // and the session may end without asking.
  bool idle = true;
};
WindowView ViewFor(const WindowFacts& facts);

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
// After the status line's text once a change of the settings could not be
// kept for the next start (it applies until the program ends), until one is.
inline constexpr wchar_t kStatusSettingsNotSaved[] = L" - settings could not be saved";

// Why nothing is recording, in the status line: the folder's faults, found
// before a start, and the engine's.
inline constexpr wchar_t kStatusFolderTooLong[] = L"Folder path too long: choose a shorter folder";
inline constexpr wchar_t kStatusFolderNotWritable[] = L"Cannot write to the output folder";
inline constexpr wchar_t kStatusDiskFull[] = L"Not enough free space in the output folder";
// Empty for RecorderProblem::None.
std::wstring ProblemText(RecorderProblem problem);
