// The recording side of the main window: what the buttons do in each state,
// and how the display follows the engine's state.
#include "app/MainWindow.h"
#include "app/OutputFolder.h"
#include "recorder/ScreenRecorder.h"
#include "region/RegionSelector.h"
#include "ui/WindowGeometry.h"
#include "webcam/WebcamOverlay.h"

void SetButtonPicture(HWND button, const unique_hbitmap& picture) {
  if (button && picture) SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
}

// The display keeps no copy of the recording state: it reads the engine's
// after every command and shows that.
void RefreshUiState(HWND window) {
  if (!g_recorder) return;
  MainWindow& main = g_mainWindow;
  const RecorderState state = g_recorder->state.load();

  SetButtonPicture(main.recordButton, main.pictures[state == RecorderState::Idle ? kPictureRecord : kPictureStop]);
  const ButtonPicture pause = state == RecorderState::Idle     ? kPicturePauseDimmed
                              : state == RecorderState::Paused ? kPictureResume
                                                               : kPicturePause;
  SetButtonPicture(main.pauseButton, main.pictures[pause]);

  EnableWindow(main.microphoneButton, TRUE);
  EnableWindow(main.browseButton, state == RecorderState::Idle);
  EnableWindow(main.folderField, state == RecorderState::Idle);

  const StatusDisplay display = RefreshDurationClock(main.clock, state, GetTickCount());
  if (display.timer == DurationTimer::Start) SetTimer(window, kDurationTimerId, 1000, nullptr);
  if (display.timer == DurationTimer::Kill) KillTimer(window, kDurationTimerId);
  SetWindowTextW(main.statusLine, display.status.c_str());
  if (main.tray) main.tray->SetTip(display.tip);
}

void OnRecordCommand(MainWindow& main) {
  if (g_recorder->state.load() != RecorderState::Idle) {
    g_recorder->Stop();
    main.clock.recordingStartTick = 0;
    RefreshUiState(main.window);
    return;
  }
  wchar_t folder[MAX_PATH] = {};
  GetWindowTextW(main.folderField, folder, MAX_PATH);
  const std::wstring path = OutputPathForNewRecording(folder);
  main.clock.recordingStartTick = 0;
  // With no free file name there is nothing to record into; the display stays idle.
  if (!path.empty()) g_recorder->Start(path, main.captureRegion);
  RefreshUiState(main.window);
}

void OnPauseCommand(MainWindow& main) {
  switch (g_recorder->state.load()) {
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
  if (g_recorder->state.load() != RecorderState::Idle) return;
  main.captureRegion = PrimaryScreenRegion();
  RefreshUiState(main.window);
}

void OnMicrophoneCommand(MainWindow& main) {
  // Takes effect with the next recording: the engine reads the flag on Start.
  main.audioFlag = !main.audioFlag;
  SetButtonPicture(main.microphoneButton, main.pictures[main.audioFlag ? kPictureMicOn : kPictureMicOff]);
}

void OnDurationTimer(MainWindow& main) {
  const std::wstring duration = DurationOnTimer(main.clock, GetTickCount());
  if (duration.empty()) return;
  if (main.tray) main.tray->SetDurationText(duration);
  SetWindowTextW(main.statusLine, (kStatusRecordingPrefix + duration).c_str());
}

void OnRegionCommand(MainWindow& main) {
  if (g_recorder->state.load() != RecorderState::Idle) return;
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
    // A camera that cannot be opened has told the user so already.
    if (!webcam.Open(main.settings.webcamPosition)) main.webcamFlag = false;
  } else {
    webcam.Close();
  }
  SetButtonPicture(main.webcamButton, main.pictures[main.webcamFlag ? kPictureWebcamOn : kPictureWebcamOff]);
}
