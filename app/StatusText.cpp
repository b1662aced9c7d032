#include "app/StatusText.h"

#include <cwchar>

std::wstring FormatDuration(uint64_t milliseconds) {
  const uint64_t seconds = milliseconds / 1000;
  wchar_t text[40];
  std::swprintf(text, 40, L"%02llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>((seconds % 3600) / 60), static_cast<unsigned long long>(seconds % 60));
  return text;
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

WindowView ViewFor(const WindowFacts& f) {
  WindowView view;
  const bool idle = f.state == RecorderState::Idle, paused = f.state == RecorderState::Paused;
  view.idle = idle;
  if (idle) {
    view.status = kStatusReady;
    view.tip = kTipReady;
  } else {
    view.status = kStatusRecordingPrefix + FormatDuration(f.recordedMs);
    view.tip = paused ? kTipPaused : kTipRecording;
    view.timer = paused ? DurationTimer::Kill : DurationTimer::Start;
    if (f.microphoneMissing) view.status += kStatusNoMicrophone;
    if (f.microphoneStandsIn) view.status += kStatusDefaultMicrophone;
    if (f.computerSoundMissing) view.status += kStatusNoComputerSound;
  }
  if (f.webcamLost) view.status += kStatusWebcamLost;
  if (!idle && f.updateWaiting) view.status += kStatusUpdateReady;
  if (f.settingsNotSaved) view.status += kStatusSettingsNotSaved;

  view.record = idle ? kPictureRecord : kPictureStop;
  view.pause = idle ? kPicturePauseDimmed : paused ? kPictureResume : kPicturePause;
  view.microphone = f.microphoneOn ? kPictureMicOn : kPictureMicOff;
  view.webcam = f.webcamOn ? kPictureWebcamOn : kPictureWebcamOff;

  ButtonNames& names = view.names;
  names.record = WithHotkey(idle ? L"Record" : L"Stop", f.recordKeys, f.recordHotkey);
  names.pause = WithHotkey(paused ? L"Resume" : L"Pause", f.pauseKeys, f.pauseHotkey);
  names.fullScreen = L"Record the whole screen";
  names.region = L"Select a region";
  names.microphone =
      f.microphoneOn ? L"Microphone on: press to record without sound" : L"Microphone off: press to record sound";
  names.webcam = f.webcamOn ? L"Hide the webcam" : L"Show the webcam";
  return view;
}
