#pragma once
// The main window's duration clock and the texts it shows, kept free of the
// platform. All tick arithmetic is modulo 2^32, like GetTickCount itself.
#include <cstdint>
#include <string>

#include "recorder/RecorderTypes.h"

// "hh:mm:ss", hours from 100 on with three digits or more.
std::wstring FormatDuration(uint32_t milliseconds);

// Ticks of the user interface's own clock (GetTickCount), 0 meaning unset.
struct DurationClock {
  uint32_t recordingStartTick = 0;
  uint32_t pausedTotal = 0;
  uint32_t pauseStartTick = 0;
};

enum class DurationTimer { Keep, Start, Kill };

struct StatusDisplay {
  std::wstring status;  // the status line
  std::wstring tip;     // the notification-area tip
  DurationTimer timer = DurationTimer::Keep;
};

// Brings the clock in line with the engine's state at tick `now` and tells
// what the status line, the tip and the duration timer should show.
StatusDisplay RefreshDurationClock(DurationClock& clock, RecorderState state, uint32_t now);

// The duration text for a timer tick, or empty when no recording is timed.
std::wstring DurationOnTimer(const DurationClock& clock, uint32_t now);
// How long the timed recording has recorded by `now`, pauses left out.
uint32_t RecordedMs(const DurationClock& clock, uint32_t now);

// The notification-area balloon once a recording's file is finished: its
// title, and its text: the file's name, then how long and how large it is.
inline constexpr wchar_t kSavedTitle[] = L"Recording saved";
std::wstring SavedText(const std::wstring& fileName, uint32_t recordedMs, uint64_t bytes);
// The item in the "&File" menu and the tray menu that opens the folder.
inline constexpr wchar_t kOpenFolderItem[] = L"Open Recordings Folder";

inline constexpr wchar_t kStatusReady[] = L"Ready to Record";
inline constexpr wchar_t kStatusRecordingPrefix[] = L"Recording: ";
inline constexpr wchar_t kStatusPaused[] = L"Recording Paused";
inline constexpr wchar_t kTipReady[] = L"Quillomat - Ready";
inline constexpr wchar_t kTipRecording[] = L"Quillomat - Recording";
inline constexpr wchar_t kTipPaused[] = L"Quillomat - Paused";
inline constexpr wchar_t kTrayDurationPrefix[] = L"Duration: ";
// The switch of the computer's sound, in the "&File" menu and the tray menu.
inline constexpr wchar_t kComputerSoundItem[] = L"Record Computer Sound";
// After the duration in the status line while a recording runs without the
// computer's sound that was asked for.
inline constexpr wchar_t kStatusNoComputerSound[] = L" - computer sound missing";
// After the status line's text once the camera shown was lost, until the
// webcam is switched on again.
inline constexpr wchar_t kStatusWebcamLost[] = L" - webcam lost";

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
