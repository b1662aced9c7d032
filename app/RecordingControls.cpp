// The recording side of the main window: what the buttons do in each state,
// and how the display follows the engine's state.
#include "app/MainWindow.h"

#include <commctrl.h>

#include "app/OutputFolder.h"
#include "app/StatusText.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "region/RegionSelector.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "ui/WindowGeometry.h"
#include "update/UpdateDownloader.h"
#include "webcam/WebcamOverlay.h"

void SetButtonPicture(HWND button, const unique_hbitmap& picture) {
  // Also none: the button must not keep a picture that is about to go.
  if (button) SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
}

void ShowStatePictures(MainWindow& main) {
  const RecorderState state = g_recorder ? g_recorder->State() : RecorderState::Idle;
  SetButtonPicture(main.recordButton, main.pictures[state == RecorderState::Idle ? kPictureRecord : kPictureStop]);
  const ButtonPicture pause = state == RecorderState::Idle     ? kPicturePauseDimmed
                              : state == RecorderState::Paused ? kPictureResume
                                                               : kPicturePause;
  SetButtonPicture(main.pauseButton, main.pictures[pause]);
}

namespace {

// A button's name and tip: what a press does now.
void NameButton(const MainWindow& main, HWND button, const std::wstring& name) {
  if (!button) return;
  SetWindowTextW(button, name.c_str());
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = main.window;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = const_cast<wchar_t*>(name.c_str());
  if (main.tooltip) SendMessageW(main.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void NameButtons(const MainWindow& main, RecorderState state) {
  const ButtonNames names = NamesFor(state, main.settings.microphoneOn, main.webcamFlag, main.recordHotkey, main.pauseHotkey);
  NameButton(main, main.recordButton, names.record);
  NameButton(main, main.pauseButton, names.pause);
  NameButton(main, main.fullScreenButton, names.fullScreen);
  NameButton(main, main.regionButton, names.region);
  NameButton(main, main.microphoneButton, names.microphone);
  NameButton(main, main.webcamButton, names.webcam);
}

// The status line, with word of sound that was asked for and is not being
// recorded, of a camera lost, and of an update waiting for the stop.
void ShowStatus(const MainWindow& main, RecorderState state, std::wstring text) {
  if (state != RecorderState::Idle && g_recorder->MicrophoneMissing()) text += kStatusNoMicrophone;
  if (state != RecorderState::Idle && g_recorder->MicrophoneStandsIn()) text += kStatusDefaultMicrophone;
  if (state != RecorderState::Idle && g_recorder->ComputerSoundMissing()) text += kStatusNoComputerSound;
  if (main.webcamLost) text += kStatusWebcamLost;
  if (state != RecorderState::Idle && UpdateReady()) text += kStatusUpdateReady;
  SetWindowTextW(main.statusLine, text.c_str());
}

// The computer sound's switch, in both menus: changed only between recordings.
void ShowComputerSoundSwitch(const MainWindow& main, RecorderState state) {
  auto show = [&](HMENU menu, UINT id) {
    if (!menu) return;
    CheckMenuItem(menu, id, MF_BYCOMMAND | (main.settings.computerSound ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(menu, id, MF_BYCOMMAND | (state == RecorderState::Idle ? MF_ENABLED : MF_GRAYED));
  };
  show(GetMenu(main.window), IDM_COMPUTER_SOUND);
  if (main.tray) show(main.tray->menu(), IDM_TRAY_COMPUTER_SOUND);
}

}  // namespace

// The display keeps no copy of the recording state: it reads the engine's
// after every command and shows that.
void RefreshUiState(HWND window) {
  MainWindow* shown = MainWindowOf(window);
  if (!g_recorder || !shown) return;
  MainWindow& main = *shown;
  const RecorderState state = g_recorder->State();
  ShowStatePictures(main);

  // What Windows shows when the session ends during a recording.
  if (state == RecorderState::Idle) {
    ShutdownBlockReasonDestroy(window);
  } else {
    ShutdownBlockReasonCreate(window, L"A recording is running. Stop it first, or its end may be lost.");
  }

  NameButtons(main, state);
  ShowComputerSoundSwitch(main, state);

  EnableWindow(main.microphoneButton, TRUE);
  EnableWindow(main.browseButton, state == RecorderState::Idle);
  EnableWindow(main.folderField, state == RecorderState::Idle);

  const StatusDisplay display = DisplayFor(state, g_recorder->RecordedMs());
  if (display.timer == DurationTimer::Start) {
    SetTimer(window, kDurationTimerId, 1000, nullptr);
  } else {
    KillTimer(window, kDurationTimerId);
  }
  ShowStatus(main, state, display.status);
  if (main.tray) main.tray->SetTip(display.tip);
}

namespace {

// The display after a command: the engine's state, and why nothing records
// when something went wrong.
void ShowState(MainWindow& main, const std::wstring& why) {
  RefreshUiState(main.window);
  if (!why.empty()) SetWindowTextW(main.statusLine, why.c_str());
}

// All of the folder field: a folder too long for a file name is said so,
// never cut short.
std::wstring FolderFieldText(const MainWindow& main) {
  std::wstring folder(static_cast<size_t>(GetWindowTextLengthW(main.folderField)) + 1, L'\0');
  folder.resize(static_cast<size_t>(GetWindowTextW(main.folderField, folder.data(), static_cast<int>(folder.size()))));
  return folder;
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// The balloon that takes the user to the finished file.
void ShowSaved(const MainWindow& main, const StopResult& stopped) {
  const std::wstring& path = stopped.path;
  WIN32_FILE_ATTRIBUTE_DATA file{};
  if (!main.tray || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file)) return;
  const uint64_t bytes = static_cast<uint64_t>(file.nFileSizeHigh) << 32 | file.nFileSizeLow;
  main.tray->ShowFileBalloon(kSavedTitle, path, SavedText(FileName(path), stopped.recordedMs, bytes));
}

}  // namespace

void OnRecordCommand(MainWindow& main) {
  if (g_recorder->State() != RecorderState::Idle) {
    const StopResult stopped = g_recorder->Stop();
    ShowState(main, ProblemText(stopped.problem));
    if (stopped.problem == RecorderProblem::None) ShowSaved(main, stopped);
    // An update verified during the recording installs now that it is saved.
    StartReadyUpdate(main.window);
    return;
  }
  const std::wstring folder = FolderFieldText(main);
  std::wstring why;
  const std::wstring path = OutputPathForNewRecording(folder, why);
  // The engine reads the switches now: a change during the recording
  // applies to the next one.
  const RecordingSettings& chosen = main.settings;
  const VideoSizeChoice& size = kVideoSizes[chosen.videoSize];
  if (!path.empty() && !g_recorder->Start({path, main.captureRegion, chosen.microphoneOn, chosen.computerSound,
                                           chosen.microphoneId, size.maxWidth, size.maxHeight, chosen.framesPerSecond})) {
    why = ProblemText(g_recorder->Problem());
  }
  ShowState(main, why);
}

void ShowRecovered(MainWindow& main, const std::vector<RecoveredRecording>& recovered) {
  for (const RecoveredRecording& recording : recovered) {
    const std::wstring name = FileName(recording.path);
    if (!recording.recovered) {
      SetWindowTextW(main.statusLine, RecoveryFailedText(name).c_str());
    } else if (main.tray) {
      main.tray->ShowFileBalloon(kRecoveredTitle, recording.path, SavedText(name, recording.durationMs, recording.bytes));
    }
  }
}

void OnPauseCommand(MainWindow& main) {
  switch (g_recorder->State()) {
    case RecorderState::Recording:
      g_recorder->Pause();
      break;
    case RecorderState::Paused:
      g_recorder->Resume();
      break;
    case RecorderState::Idle:
      break;
  }
  RefreshUiState(main.window);
}

void OnFullScreenCommand(MainWindow& main) {
  if (g_recorder->State() != RecorderState::Idle) return;
  main.captureRegion = PrimaryScreenRegion();
  RefreshUiState(main.window);
}

void OnMicrophoneCommand(MainWindow& main) {
  // Takes effect with the next recording: the engine takes the flag on Start.
  main.settings.microphoneOn = !main.settings.microphoneOn;
  SaveSettings(main.settings);
  SetButtonPicture(main.microphoneButton, main.pictures[main.settings.microphoneOn ? kPictureMicOn : kPictureMicOff]);
  NameButtons(main, g_recorder->State());
}

void OnComputerSoundCommand(MainWindow& main) {
  // Takes effect with the next recording, like the microphone; a running
  // recording keeps the sources it began with.
  if (g_recorder->State() != RecorderState::Idle) return;
  main.settings.computerSound = !main.settings.computerSound;
  SaveSettings(main.settings);
  RefreshUiState(main.window);
}

void OnHotkey(MainWindow& main, int id) {
  // As the buttons: not while the region overlay or the settings window
  // has the program's attention.
  if (FindOwnWindow(kRegionSelectorClass) || FindOwnWindow(kSettingsClass)) return;
  if (id == kRecordHotkeyId) OnRecordCommand(main);
  if (id == kPauseHotkeyId) OnPauseCommand(main);
}

void OnDurationTimer(MainWindow& main) {
  // A recording that can no longer be written is finished here and now,
  // with what it has, rather than going on as if all were well.
  if (g_recorder->OutputRefused()) {
    ShowState(main, ProblemText(g_recorder->Stop().problem));
    return;
  }
  const RecorderState state = g_recorder->State();
  if (state == RecorderState::Idle) return;
  const std::wstring duration = FormatDuration(g_recorder->RecordedMs());
  if (main.tray) main.tray->SetDurationText(duration);
  ShowStatus(main, state, kStatusRecordingPrefix + duration);
}

void OnRegionCommand(MainWindow& main) {
  if (g_recorder->State() != RecorderState::Idle) return;
  // Out of the way first, so that the overlay shows the screen without it.
  ShowWindow(main.window, SW_HIDE);
  Sleep(100);
  RegionSelector selector;
  if (SelectRegion(selector)) {
    const RECT& r = selector.result;
    main.captureRegion = RegionFromRect({r.left, r.top, r.right, r.bottom});
  }
  ShowWindow(main.window, SW_SHOW);
  SetForegroundWindow(main.window);
  RefreshUiState(main.window);
  if (selector.window && IsWindow(selector.window)) DestroyWindow(selector.window);
}

void OnWebcamCommand(MainWindow& main) {
  WebcamOverlay& webcam = WebcamOverlay::Instance();
  main.webcamFlag = !main.webcamFlag;
  if (main.webcamFlag) {
    if (main.webcamLost) {
      main.webcamLost = false;
      RefreshUiState(main.window);
    }
    // A camera that cannot be opened has told the user so already, in a
    // box whose loop ends with the program: nothing is left to show then.
    if (!webcam.Open(main.settings.webcamCorner, main.window)) main.webcamFlag = false;
    if (!main.window || !g_recorder) return;
  } else {
    webcam.Close();
  }
  SetButtonPicture(main.webcamButton, main.pictures[main.webcamFlag ? kPictureWebcamOn : kPictureWebcamOff]);
  NameButtons(main, g_recorder->State());
}

void OnOpenFolderCommand(MainWindow& main) {
  if (!OpenFolderInExplorer(FolderFieldText(main))) SetWindowTextW(main.statusLine, kStatusFolderNotWritable);
}

// A verified update installs at once, or, while a recording runs or is
// paused, once the user stops it: an update never ends a recording. With the
// window gone meanwhile (the program is ending), nothing is started.
void OnUpdateReady(MainWindow& main) {
  if (!main.window) {
    DiscardReadyUpdate();
  } else if (g_recorder->State() == RecorderState::Idle) {
    StartReadyUpdate(main.window);
  } else {
    RefreshUiState(main.window);  // the status line says it waits
  }
}

// The overlay has closed itself: the camera is gone. A recording goes on.
void OnWebcamLost(MainWindow& main) {
  main.webcamFlag = false;
  main.webcamLost = true;
  SetButtonPicture(main.webcamButton, main.pictures[kPictureWebcamOff]);
  RefreshUiState(main.window);  // the buttons' names and the status line
}
