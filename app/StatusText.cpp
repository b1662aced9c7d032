#include "app/StatusText.h"

#include <cwchar>

std::wstring FormatDuration(uint64_t milliseconds) {
  const uint64_t seconds = milliseconds / 1000;
  wchar_t text[40];
  std::swprintf(text, 40, L"%02llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>((seconds % 3600) / 60), static_cast<unsigned long long>(seconds % 60));
  return text;
}

StatusDisplay DisplayFor(RecorderState state, uint64_t recordedMs) {
  switch (state) {
    case RecorderState::Recording:
      return {kStatusRecordingPrefix + FormatDuration(recordedMs), kTipRecording, DurationTimer::Start};
    case RecorderState::Paused:
      return {kStatusRecordingPrefix + FormatDuration(recordedMs), kTipPaused, DurationTimer::Kill};
    case RecorderState::Idle:
      break;
  }
  return {kStatusReady, kTipReady, DurationTimer::Kill};
}

std::wstring SavedText(const std::wstring& fileName, uint64_t recordedMs, uint64_t bytes) {
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

std::wstring RecoveryFailedText(const std::wstring& fileName) {
  return L"Could not recover " + fileName + L": it is left as it was";
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
    case RecorderProblem::NothingWritten:
      return L"Recording stopped, but nothing of it reached the file";
    case RecorderProblem::LeftFragmented:
      return L"Recording saved, but players may not show its length or seek in it";
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
