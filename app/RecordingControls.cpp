// The recording side of the main window: what the buttons do in each state,
// and how the display follows the engine's state.
#include "app/MainWindow.h"

#include <commctrl.h>

#include "app/Commands.h"
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

namespace {

// A picture, or none (a picture that could not be made), on a button. Also
// none: the button must not keep a picture that is about to go.
void SetButtonPicture(HWND button, const unique_hbitmap& picture) {
  if (button) SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
}

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

// The computer sound's switch, in both menus: changed only between recordings.
void ShowSwitch(HMENU menu, UINT id, bool on, bool enabled) {
  if (!menu) return;
  CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

WindowFacts MainWindow::Facts() const {
  const ScreenRecorder& engine = *g_recorder;
  WindowFacts facts;
  facts.state = engine.State();
  facts.recordedMs = engine.RecordedMs();
  facts.microphoneOn = settings.microphoneOn;
  facts.computerSound = settings.computerSound;
  facts.webcamOn = webcamFlag;
  facts.webcamLost = webcamLost;
  facts.microphoneMissing = engine.MicrophoneMissing();
  facts.computerSoundMissing = engine.ComputerSoundMissing();
  facts.microphoneStandsIn = engine.MicrophoneStandsIn();
  facts.updateWaiting = UpdateReady();
  facts.settingsNotSaved = settingsNotSaved;
  facts.recordKeys = FindCommand(IDC_RECORD)->hotkeyName;
  facts.pauseKeys = FindCommand(IDC_PAUSE)->hotkeyName;
  facts.recordHotkey = recordHotkey;
  facts.pauseHotkey = pauseHotkey;
  return facts;
}

void MainWindow::Refresh() {
  if (!window || !g_recorder) return;
  const WindowFacts facts = Facts();
  const WindowView view = ViewFor(facts);

  SetButtonPicture(recordButton, pictures[view.record]);
  SetButtonPicture(pauseButton, pictures[view.pause]);
  SetButtonPicture(fullScreenButton, pictures[kPictureFullScreen]);
  SetButtonPicture(regionButton, pictures[kPictureRegion]);
  SetButtonPicture(microphoneButton, pictures[view.microphone]);
  SetButtonPicture(webcamButton, pictures[view.webcam]);
  NameButton(*this, recordButton, view.names.record);
  NameButton(*this, pauseButton, view.names.pause);
  NameButton(*this, fullScreenButton, view.names.fullScreen);
  NameButton(*this, regionButton, view.names.region);
  NameButton(*this, microphoneButton, view.names.microphone);
  NameButton(*this, webcamButton, view.names.webcam);

  ShowSwitch(GetMenu(window), IDM_COMPUTER_SOUND, settings.computerSound, view.idle);
  if (tray) ShowSwitch(tray->menu(), IDM_TRAY_COMPUTER_SOUND, settings.computerSound, view.idle);
  EnableWindow(browseButton, view.idle);
  EnableWindow(folderField, view.idle);
  // What Windows shows when the session ends during a recording.
  if (view.idle) {
    ShutdownBlockReasonDestroy(window);
  } else {
    ShutdownBlockReasonCreate(window, L"A recording is running. Stop it first, or its end may be lost.");
  }

  if (view.timer == DurationTimer::Start) {
    SetTimer(window, kDurationTimerId, 1000, nullptr);
  } else {
    KillTimer(window, kDurationTimerId);
  }
  SetWindowTextW(statusLine, view.status.c_str());
  if (tray) {
    tray->SetTip(view.tip);
    if (!view.idle) tray->SetDurationText(FormatDuration(facts.recordedMs));
  }
}

void MainWindow::Remember() {
  settingsNotSaved = !SaveSettings(settings);
  Refresh();
}

void MainWindow::Say(const std::wstring& why) {
  Refresh();
  if (!why.empty()) SetWindowTextW(statusLine, why.c_str());
}

namespace {

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
    main.Say(ProblemText(stopped.problem));
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
  const VideoSizeChoice& size = kVideoSizes[chosen.resolutionIndex];
  const RecordingOptions options{path,          main.captureRegion, chosen.microphoneOn, chosen.computerSound,
                                 chosen.microphoneId, size.maxWidth,  size.maxHeight,      chosen.framesPerSecond};
  if (!path.empty() && !g_recorder->Start(options)) {
    why = ProblemText(g_recorder->Problem());
  }
  main.Say(why);
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
  main.Refresh();
}

void OnFullScreenCommand(MainWindow& main) {
  if (g_recorder->State() != RecorderState::Idle) return;
  main.captureRegion = PrimaryScreenRegion();
  main.Refresh();
}

void OnMicrophoneCommand(MainWindow& main) {
  // Takes effect with the next recording: the engine takes the flag on Start.
  main.settings.microphoneOn = !main.settings.microphoneOn;
  main.Remember();
}

void OnComputerSoundCommand(MainWindow& main) {
  // Takes effect with the next recording, like the microphone; a running
  // recording keeps the sources it began with.
  if (g_recorder->State() != RecorderState::Idle) return;
  main.settings.computerSound = !main.settings.computerSound;
  main.Remember();
}

void OnDurationTimer(MainWindow& main) {
  // A recording that can no longer be written is finished here and now,
  // with what it has, rather than going on as if all were well.
  if (g_recorder->OutputRefused()) {
    main.Say(ProblemText(g_recorder->Stop().problem));
    return;
  }
  if (g_recorder->State() == RecorderState::Idle) return;
  // Only what moves with the time: the rest stays as the last command left it.
  const WindowFacts facts = main.Facts();
  SetWindowTextW(main.statusLine, ViewFor(facts).status.c_str());
  if (main.tray) main.tray->SetDurationText(FormatDuration(facts.recordedMs));
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
  main.Refresh();
  if (selector.window && IsWindow(selector.window)) DestroyWindow(selector.window);
}

void OnWebcamCommand(MainWindow& main) {
  WebcamOverlay& webcam = WebcamOverlay::Instance();
  main.webcamFlag = !main.webcamFlag;
  if (main.webcamFlag) {
    main.webcamLost = false;
    main.Refresh();
    // A camera that cannot be opened has told the user so already, in a
    // box whose loop ends with the program: nothing is left to show then.
    if (!webcam.Open(main.settings.webcamPosition, main.window)) main.webcamFlag = false;
    if (!main.window || !g_recorder) return;
  } else {
    webcam.Close();
  }
  main.Refresh();
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
    main.Refresh();  // the status line says it waits
  }
}

// The overlay has closed itself: the camera is gone. A recording goes on.
void OnWebcamLost(MainWindow& main) {
  main.webcamFlag = false;
  main.webcamLost = true;
  main.Refresh();
}
