#pragma once
// The main window: title line, the row of image buttons, the output folder
// line, the status line and the footer, with its menus and commands.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/StatusText.h"
#include "app/TrayIcon.h"
#include "common/Win32Handles.h"
#include "recorder/RecorderTypes.h"
#include "recorder/UnfinishedRecordings.h"
#include "settings/RecordingSettings.h"
#include "ui/Window.h"
#include "update/UpdateCheck.h"

constexpr UINT_PTR kDurationTimerId = 1001;
constexpr WindowFrame kMainWindowFrame{520, 310, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, true};

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

// Everything the main window owns, handed to it at creation and reached from
// its user data. One per process: the window is created once and lives until
// the program ends.
struct MainWindow {
  HWND window = nullptr;
  HINSTANCE instance = nullptr;

  unique_hbitmap pictures[kPictureCount];  // at the layout's display scale
  unique_hbrush background;
  ScaledLayout layout;  // the controls and fonts

  HWND recordButton = nullptr, pauseButton = nullptr, fullScreenButton = nullptr, regionButton = nullptr,
       microphoneButton = nullptr, webcamButton = nullptr;
  HWND folderField = nullptr, browseButton = nullptr, statusLine = nullptr;

  CaptureRegion captureRegion{};
  // The user's choices, remembered between starts; the engine takes them
  // when a recording starts.
  RecordingSettings settings;
  std::wstring outputFolder;  // the chosen folder, or the default one
  bool webcamFlag = false;
  bool webcamLost = false;  // the camera went while shown; said in the status line
  std::unique_ptr<TrayIcon> tray;
  // The tooltip window of the button row, and whether each global hotkey
  // could be had (another program may hold the combination).
  HWND tooltip = nullptr;
  bool recordHotkey = false, pauseHotkey = false;
};

// The global hotkeys: record or stop, and pause or resume, from any program.
constexpr int kRecordHotkeyId = 1, kPauseHotkeyId = 2;
constexpr UINT kHotkeyModifiers = MOD_CONTROL | MOD_ALT | MOD_SHIFT;
constexpr UINT kRecordHotkeyKey = VK_F9, kPauseHotkeyKey = VK_F10;

// The main window's state (null before its creation and after its end).
MainWindow* MainWindowOf(HWND window);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Recording side of the window (RecordingControls.cpp).
void RefreshUiState(HWND window);
void OnRecordCommand(MainWindow& main);
void OnPauseCommand(MainWindow& main);
void OnFullScreenCommand(MainWindow& main);
void OnMicrophoneCommand(MainWindow& main);
void OnComputerSoundCommand(MainWindow& main);
void OnRegionCommand(MainWindow& main);
void OnWebcamCommand(MainWindow& main);
void OnWebcamLost(MainWindow& main);
void OnUpdateReady(MainWindow& main);
void OnOpenFolderCommand(MainWindow& main);
void OnDurationTimer(MainWindow& main);
void OnHotkey(MainWindow& main, int id);
// What the start found of recordings a crash had left unfinished: a balloon
// for one that was finished now, the status line for one that could not be.
void ShowRecovered(MainWindow& main, const std::vector<RecoveredRecording>& recovered);
// A picture, or none (a picture that could not be made), on a button.
void SetButtonPicture(HWND button, const unique_hbitmap& picture);
// The record and pause buttons' pictures for the engine's state.
void ShowStatePictures(MainWindow& main);
