#include "app/MainWindow.h"

#include <commctrl.h>

#include <cwchar>

#include "app/AboutDialog.h"
#include "app/OutputFolder.h"
#include "app/ProductInfo.h"
#include "common/Messages.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "ui/ButtonImage.h"
#include "ui/Theme.h"
#include "ui/Window.h"
#include "update/UpdateDownloader.h"
#include "webcam/WebcamOverlay.h"

MainWindow g_mainWindow;

namespace {

constexpr COLORREF kStatusColour = RGB(79, 70, 229);
constexpr COLORREF kLabelColour = RGB(255, 255, 255);

HWND MakeImageButton(MainWindow& main, int index, int id, ButtonPicture picture) {
  HWND button =
      MakeControl(main.window, L"BUTTON", L"", BS_FLAT | BS_BITMAP | WS_TABSTOP, 47 + 75 * index, 60, 48, 48, id);
  if (!button) return nullptr;
  // Its tip (and its name, which screen readers announce) says what a press
  // does now; RefreshUiState keeps both up to date.
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = main.window;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(main.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SetButtonPicture(button, main.pictures[picture]);
  // Rounded like the picture's square (corner radius 10), so that none of the
  // picture's transparent corners shows; the window owns the region.
  SetWindowRgn(button, CreateRoundRectRgn(0, 0, 49, 49, 20, 20), TRUE);
  return button;
}

void AddSettingsToFileMenu(HWND window) {
  HMENU bar = GetMenu(window);
  HMENU file = bar ? GetSubMenu(bar, 0) : nullptr;
  if (!file) return;
  const int count = GetMenuItemCount(file);
  InsertMenuW(file, static_cast<UINT>(count - 1), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  InsertMenuW(file, static_cast<UINT>(count - 1), MF_BYPOSITION | MF_STRING, IDM_SETTINGS, L"General Settings...");
  InsertMenuW(file, IDM_SETTINGS, MF_BYCOMMAND | MF_STRING, IDM_COMPUTER_SOUND, kComputerSoundItem);
  // After the settings, before the separator above "E&xit".
  InsertMenuW(file, static_cast<UINT>(GetMenuItemCount(file) - 2), MF_BYPOSITION | MF_STRING, IDM_OPEN_FOLDER,
              kOpenFolderItem);
  DrawMenuBar(window);
}

std::wstring FooterText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t text[64];
  std::swprintf(text, 64, L"%ls  \u00B7  Version %ls  \u00B7  \u00A9 %u", kVendorHost, kProductVersion, now.wYear);
  return text;
}

void OnCreate(MainWindow& main) {
  InitCommonControls();

  static const struct {
    unsigned short id;
    float opacity;
  } kPictures[kPictureCount] = {{IDB_RECORD, 1.0f}, {IDB_PAUSE, 1.0f},     {IDB_RESUME, 1.0f},
                                {IDB_STOP, 1.0f},   {IDB_REGION, 1.0f},    {IDB_FULLSCREEN, 1.0f},
                                {IDB_MIC_ON, 1.0f}, {IDB_MIC_OFF, 1.0f},   {IDB_PAUSE, kDimmedOpacity},
                                {IDB_WEBCAM, 1.0f}, {IDB_WEBCAM, kDimmedOpacity}};
  for (int i = 0; i < kPictureCount; ++i) main.pictures[i].reset(LoadButtonImage(kPictures[i].id, kPictures[i].opacity));

  main.background.reset(CreateSolidBrush(kWindowBackground));
  main.titleFont = MakeFont(24, FW_BOLD);
  main.normalFont = MakeFont(14, FW_NORMAL);
  main.semiboldFont = MakeFont(14, FW_SEMIBOLD);
  main.smallFont = MakeFont(12, FW_NORMAL);

  MakeControl(main.window, L"STATIC", kProductName, SS_CENTER | SS_CENTERIMAGE, 0, 10, 500, 32, 0,
              main.titleFont.get());
  AddSettingsToFileMenu(main.window);

  main.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, main.window, nullptr, main.instance, nullptr);
  main.recordButton = MakeImageButton(main, 0, IDC_RECORD, kPictureRecord);
  main.pauseButton = MakeImageButton(main, 1, IDC_PAUSE, kPicturePause);
  main.fullScreenButton = MakeImageButton(main, 2, IDC_FULLSCREEN, kPictureFullScreen);
  main.regionButton = MakeImageButton(main, 3, IDC_REGION, kPictureRegion);
  main.microphoneButton = MakeImageButton(main, 4, IDC_MICROPHONE, kPictureMicOn);
  main.webcamButton = MakeImageButton(main, 5, IDC_WEBCAM, kPictureWebcamOff);

  MakeControl(main.window, L"STATIC", L"Output Folder:", SS_LEFT, 30, 130, 100, 20, 0, main.normalFont.get());
  CreateDirectoryW(main.outputFolder.c_str(), nullptr);
  main.folderField = MakeControl(main.window, L"EDIT", main.outputFolder.c_str(),
                                 WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 130, 128, 280, 24, IDC_FOLDER,
                                 main.normalFont.get());
  main.browseButton = MakeControl(main.window, L"BUTTON", L"Browse...", BS_OWNERDRAW | WS_TABSTOP, 420, 128, 70, 24,
                                  IDC_BROWSE, main.normalFont.get());

  main.statusFont = MakeFont(22, FW_BOLD);
  main.statusLine = MakeControl(main.window, L"STATIC", kStatusReady, SS_CENTER, 0, 170, 500, 30, IDC_STATUS,
                                main.statusFont.get());
  MakeControl(main.window, L"STATIC", FooterText().c_str(), SS_CENTER, 0, 205, 500, 18, 0, main.smallFont.get());

  main.tray = std::make_unique<TrayIcon>(main.window, LoadIconW(main.instance, MAKEINTRESOURCEW(IDI_QUILLOMAT)));
  // Held for the window's life; a combination another program holds is gone
  // without, and the button's tip says so.
  main.recordHotkey = RegisterHotKey(main.window, kRecordHotkeyId, kHotkeyModifiers | MOD_NOREPEAT, kRecordHotkeyKey);
  main.pauseHotkey = RegisterHotKey(main.window, kPauseHotkeyId, kHotkeyModifiers | MOD_NOREPEAT, kPauseHotkeyKey);
  RefreshUiState(main.window);
}

// The ordered take-down: timer, tray icon, drawing objects, then the running
// recording is finished and the engine (and with it Media Foundation) ends.
void OnDestroy(MainWindow& main) {
  KillTimer(main.window, kDurationTimerId);
  UnregisterHotKey(main.window, kRecordHotkeyId);
  UnregisterHotKey(main.window, kPauseHotkeyId);
  main.tray.reset();
  main.titleFont.reset();
  main.normalFont.reset();
  main.semiboldFont.reset();
  main.smallFont.reset();
  main.statusFont.reset();
  main.background.reset();
  for (unique_hbitmap& picture : main.pictures) picture.reset();
  WebcamOverlay::Instance().Close();
  main.webcamFlag = false;
  if (g_recorder) {
    g_recorder->Stop();
    delete g_recorder;
    g_recorder = nullptr;
  }
  main.window = nullptr;
  PostQuitMessage(0);
}

void OnCommand(MainWindow& main, int id) {
  switch (id) {
    case IDM_ABOUT:
      ShowAboutDialog(main.window);
      break;
    case IDM_EXIT:
    case IDM_TRAY_EXIT:
      DestroyWindow(main.window);
      break;
    case IDC_RECORD:
      OnRecordCommand(main);
      break;
    case IDC_PAUSE:
      OnPauseCommand(main);
      break;
    case IDC_FULLSCREEN:
      OnFullScreenCommand(main);
      break;
    case IDC_MICROPHONE:
      OnMicrophoneCommand(main);
      break;
    case IDM_COMPUTER_SOUND:
    case IDM_TRAY_COMPUTER_SOUND:
      OnComputerSoundCommand(main);
      break;
    case IDC_REGION:
      OnRegionCommand(main);
      break;
    case IDC_WEBCAM:
      OnWebcamCommand(main);
      break;
    case IDM_SETTINGS:
      ShowSettingsDialog(main.window, main.settings);
      break;
    case IDM_OPEN_FOLDER:
    case IDM_TRAY_OPEN_FOLDER:
      OnOpenFolderCommand(main);
      break;
    case IDC_BROWSE: {
      std::wstring folder;
      if (ChooseOutputFolder(main.window, folder)) {
        SetWindowTextW(main.folderField, folder.c_str());
        main.outputFolder = folder;
      }
      break;
    }
    case IDM_TRAY_SHOW:
      ShowWindow(main.window, SW_RESTORE);
      SetForegroundWindow(main.window);
      break;
    case IDM_TRAY_HIDE:
      ShowWindow(main.window, SW_HIDE);
      break;
  }
}

bool HandlesCommand(int id) {
  switch (id) {
    case IDM_ABOUT:
    case IDM_EXIT:
    case IDC_RECORD:
    case IDC_PAUSE:
    case IDC_FULLSCREEN:
    case IDC_MICROPHONE:
    case IDM_COMPUTER_SOUND:
    case IDM_TRAY_COMPUTER_SOUND:
    case IDC_REGION:
    case IDC_WEBCAM:
    case IDM_SETTINGS:
    case IDM_OPEN_FOLDER:
    case IDM_TRAY_OPEN_FOLDER:
    case IDC_BROWSE:
    case IDM_TRAY_SHOW:
    case IDM_TRAY_HIDE:
    case IDM_TRAY_EXIT:
      return true;
    default:
      return false;
  }
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow& main = g_mainWindow;
  switch (message) {
    case WM_CREATE:
      main.window = window;
      OnCreate(main);
      return 0;
    case WM_DESTROY:
      OnDestroy(main);
      return 0;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) ShowWindow(window, SW_HIDE);
      return 0;
    case WM_PAINT: {
      PaintScope paint(window);
      return 0;
    }
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam), main.background.get());
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_BUTTON) return 0;
      PaintOwnerButton(*item);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (!HandlesCommand(id)) break;
      OnCommand(main, id);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kDurationTimerId) OnDurationTimer(main);
      return 0;
    case WM_HOTKEY:
      OnHotkey(main, static_cast<int>(wParam));
      return 0;
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(main.background.get());
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, reinterpret_cast<HWND>(lParam) == main.statusLine ? kStatusColour : kLabelColour);
      return reinterpret_cast<LRESULT>(main.background.get());
    }
    case WM_TRAYICON:
      if (main.tray) main.tray->OnNotify(lParam);
      return 0;
    case WM_WEBCAM_LOST:
      OnWebcamLost(main);
      return 0;
    case WM_UPDATE_AVAILABLE:
      if (TakePendingUpdate()) ShowUpdatePrompt(window);
      return 0;
    case WM_QUERYENDSESSION: {
      // While a recording runs, Windows is asked to wait and shows why (the
      // reason is set with the recording); "shut down anyway" still ends the
      // session, and the file is finished below. A critical end cannot be
      // held up.
      const bool recording = g_recorder && g_recorder->state.load() != RecorderState::Idle;
      return recording && !(lParam & ENDSESSION_CRITICAL) ? FALSE : TRUE;
    }
    case WM_ENDSESSION:
      // Log-off or shutdown ends the process without WM_DESTROY: finish a
      // running recording now, or its file is left without its index.
      if (wParam && g_recorder) g_recorder->Stop();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
