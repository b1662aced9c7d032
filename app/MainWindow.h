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

// The main window: everything it owns and shows, handed to it at creation
// and reached from its user data, and to the windows it opens. One per
// process: the window is created once and lives until the program ends.
struct MainWindow {
  // Shows the whole face of the window for the engine's state and the
  // switches (ViewFor decides it): pictures, names and tips, status line,
  // menus, timer, tray tip. The display keeps no copy of the engine's
  // state: this reads it afresh after every command.
  void Refresh();
  // Refresh, then `why` in the status line when not empty: why nothing records.
  void Say(const std::wstring& why);
  // The settings kept for the next start; the status line says so while
  // they cannot be (they still apply until the program ends).
  void Remember();
  // What the face is made from, read now (with the engine's state).
  WindowFacts Facts() const;

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
  bool settingsNotSaved = false;
  std::unique_ptr<TrayIcon> tray;
  // The tooltip window of the button row, and whether each global hotkey
  // could be had (another program may hold the combination).
  HWND tooltip = nullptr;
  bool recordHotkey = false, pauseHotkey = false;
};

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What the commands of the window do (RecordingControls.cpp); the table of
// commands (Commands.cpp) names them.
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
// What the start found of recordings a crash had left unfinished: a balloon
// for one that was finished now, the status line for one that could not be.
void ShowRecovered(MainWindow& main, const std::vector<RecoveredRecording>& recovered);
