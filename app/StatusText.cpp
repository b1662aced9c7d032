#include "app/StatusText.h"

#include <cwchar>

std::wstring FormatDuration(uint32_t milliseconds) {
  const uint32_t seconds = milliseconds / 1000;
  wchar_t text[32];
  std::swprintf(text, 32, L"%02u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
  return text;
}

StatusDisplay RefreshDurationClock(DurationClock& clock, RecorderState state, uint32_t now) {
  StatusDisplay display;
  switch (state) {
    case RecorderState::Idle:
      display.status = kStatusReady;
      display.tip = kTipReady;
      display.timer = DurationTimer::Kill;
      clock = DurationClock{};
      break;
    case RecorderState::Recording: {
      if (clock.recordingStartTick == 0) {
        clock.recordingStartTick = now;
        display.timer = DurationTimer::Start;
      }
      if (clock.pauseStartTick != 0) {
        // Just resumed: the pause is left out of the duration.
        clock.pausedTotal += now - clock.pauseStartTick;
        clock.pauseStartTick = 0;
        display.timer = DurationTimer::Start;
      }
      display.status = kStatusRecordingPrefix + FormatDuration(RecordedMs(clock, now));
      display.tip = kTipRecording;
      break;
    }
    case RecorderState::Paused: {
      display.tip = kTipPaused;
      if (clock.pauseStartTick == 0) clock.pauseStartTick = now;
      display.timer = DurationTimer::Kill;
      if (clock.recordingStartTick != 0 && clock.pauseStartTick != 0) {
        // Frozen at the start of the pause.
        display.status = kStatusRecordingPrefix + FormatDuration(RecordedMs(clock, now));
      } else {
        display.status = kStatusPaused;
      }
      break;
    }
  }
  return display;
}

std::wstring DurationOnTimer(const DurationClock& clock, uint32_t now) {
  if (clock.recordingStartTick == 0) return {};
  return FormatDuration(RecordedMs(clock, now));
}

uint32_t RecordedMs(const DurationClock& clock, uint32_t now) {
  if (clock.recordingStartTick == 0) return 0;
  // While paused, the recording ended where the pause began.
  const uint32_t sinceStart = (clock.pauseStartTick != 0 ? clock.pauseStartTick : now) - clock.recordingStartTick;
  return sinceStart > clock.pausedTotal ? sinceStart - clock.pausedTotal : 0;
}

std::wstring SavedText(const std::wstring& fileName, uint32_t recordedMs, uint64_t bytes) {
  wchar_t size[32];
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  if (bytes < 1024) {
    std::swprintf(size, 32, L"%u bytes", static_cast<unsigned>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::swprintf(size, 32, L"%u KB", static_cast<unsigned>((bytes + 512) / 1024));
  } else if (mib < 1024) {
    std::swprintf(size, 32, L"%.1f MB", mib);
  } else {
    std::swprintf(size, 32, L"%.2f GB", mib / 1024.0);
  }
  return fileName + L"\n" + FormatDuration(recordedMs) + L", " + size;
}

std::wstring ProblemText(RecorderProblem problem) {
  switch (problem) {
    case RecorderProblem::None:
      return {};
    case RecorderProblem::CannotCapture:
      return L"Cannot capture the screen: not enough memory";
    case RecorderProblem::CannotCreateFile:
      return kStatusFolderNotWritable;
    case RecorderProblem::CannotEncode:
      return L"Cannot record: this Windows has no H.264 encoder";
    case RecorderProblem::NoMediaFoundation:
      return L"Cannot record: install the Media Feature Pack";
    case RecorderProblem::OutputRefused:
      return L"Recording stopped: cannot write to the output folder";
    case RecorderProblem::FinalizeFailed:
      return L"Recording stopped, but the file could not be finished";
  }
  return {};
}

namespace {
std::wstring WithHotkey(const wchar_t* action, const wchar_t* keys, bool available) {
  return std::wstring(action) + L" (" + keys + (available ? L")" : L" is taken by another program)");
}
}  // namespace

ButtonNames NamesFor(RecorderState state, bool microphoneOn, bool webcamOn, bool recordHotkey, bool pauseHotkey) {
  ButtonNames names;
  names.record = WithHotkey(state == RecorderState::Idle ? L"Record" : L"Stop", L"Ctrl+Alt+Shift+F9", recordHotkey);
  names.pause = WithHotkey(state == RecorderState::Paused ? L"Resume" : L"Pause", L"Ctrl+Alt+Shift+F10", pauseHotkey);
  names.fullScreen = L"Record the whole screen";
  names.region = L"Select a region";
  names.microphone = microphoneOn ? L"Microphone on: press to record without sound" : L"Microphone off: press to record sound";
  names.webcam = webcamOn ? L"Hide the webcam" : L"Show the webcam";
  return names;
}
