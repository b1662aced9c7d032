#include "app/MainWindow.h"

#include <commctrl.h>

#include <cwchar>

#include "app/Commands.h"
#include "common/ProductInfo.h"
#include "common/Messages.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "ui/ButtonImage.h"
#include "ui/Theme.h"
#include "ui/Window.h"
#include "update/UpdateDownloader.h"
#include "webcam/WebcamOverlay.h"

namespace {


// The window's fonts and controls at 96 DPI; ScaledLayout makes them at the
// window's display scale.
enum MainFont { kTitleFont, kNormalFont, kSmallFont, kStatusFont };
const FontSpec kFonts[] = {{24, FW_BOLD}, {14, FW_NORMAL}, {12, FW_NORMAL}, {22, FW_BOLD}};

enum MainControl {
  kTitleLine,
  kFirstImageButton,  // six of them, 75 pixels apart
  kFolderLabel = kFirstImageButton + 6,
  kFolderField,
  kBrowseButton,
  kStatusLine,
  kFooterLine,
};
constexpr DWORD kImageButtonStyle = BS_FLAT | BS_BITMAP | WS_TABSTOP;
constexpr int kImageButtonSize = 48, kImageButtonCorner = 20;
const ControlSpec kControls[] = {
    {L"STATIC", kProductName, SS_CENTER | SS_CENTERIMAGE, 0, 10, 500, 32, 0, kTitleFont},
    {L"BUTTON", L"", kImageButtonStyle, 47, 60, 48, 48, IDC_RECORD},
    {L"BUTTON", L"", kImageButtonStyle, 122, 60, 48, 48, IDC_PAUSE},
    {L"BUTTON", L"", kImageButtonStyle, 197, 60, 48, 48, IDC_FULLSCREEN},
    {L"BUTTON", L"", kImageButtonStyle, 272, 60, 48, 48, IDC_REGION},
    {L"BUTTON", L"", kImageButtonStyle, 347, 60, 48, 48, IDC_MICROPHONE},
    {L"BUTTON", L"", kImageButtonStyle, 422, 60, 48, 48, IDC_WEBCAM},
    {L"STATIC", L"Output Folder:", SS_LEFT, 30, 130, 100, 20, 0, kNormalFont},
    {L"EDIT", nullptr, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 130, 128, 280, 24, IDC_FOLDER, kNormalFont},
    {L"BUTTON", L"Browse...", BS_OWNERDRAW | WS_TABSTOP, 420, 128, 70, 24, IDC_BROWSE, kNormalFont},
    {L"STATIC", kStatusReady, SS_CENTER, 0, 170, 500, 30, IDC_STATUS, kStatusFont},
    {L"STATIC", nullptr, SS_CENTER, 0, 205, 500, 18, 0, kSmallFont},
};

HWND ImageButton(const MainWindow& main, int index) { return main.layout.control(kFirstImageButton + index); }

// Its tip (and its name, which screen readers announce) says what a press
// does now; RefreshUiState keeps both up to date.
void AddTip(const MainWindow& main, HWND button) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = main.window;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(main.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The button row's pictures drawn at the layout's scale, each button rounded
// like its picture's square (so that none of the picture's transparent
// corners shows; the button owns its region), and the pictures of the
// present state shown.
void ShowButtonRow(MainWindow& main) {
  static const struct {
    unsigned short id;
    float opacity;
  } kPictures[kPictureCount] = {{IDB_RECORD, 1.0f}, {IDB_PAUSE, 1.0f},     {IDB_RESUME, 1.0f},
                                {IDB_STOP, 1.0f},   {IDB_REGION, 1.0f},    {IDB_FULLSCREEN, 1.0f},
                                {IDB_MIC_ON, 1.0f}, {IDB_MIC_OFF, 1.0f},   {IDB_PAUSE, kDimmedOpacity},
                                {IDB_WEBCAM, 1.0f}, {IDB_WEBCAM, kDimmedOpacity}};
  const int size = main.layout.Scale(kImageButtonSize);
  // The buttons let go of the old pictures before those are deleted.
  unique_hbitmap old[kPictureCount];
  for (int i = 0; i < kPictureCount; ++i) {
    old[i] = std::move(main.pictures[i]);
    main.pictures[i].reset(LoadButtonImage(kPictures[i].id, kPictures[i].opacity, size));
  }
  const int corner = main.layout.Scale(kImageButtonCorner);
  for (int i = 0; i < 6; ++i) {
    if (HWND button = ImageButton(main, i)) {
      SetWindowRgn(button, CreateRoundRectRgn(0, 0, size + 1, size + 1, corner, corner), TRUE);
    }
  }
  main.Refresh();
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
  // Created at its size for 100 %: sized now for the monitor it is on.
  const UINT dpi = DpiOf(main.window);
  if (dpi != static_cast<UINT>(kBaseDpi)) {
    const SIZE size = ScaledWindowSize(kMainWindowFrame, dpi);
    SetWindowPos(main.window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  main.background.reset(CreateSolidBrush(kWindowBackground));
  if (HMENU bar = GetMenu(main.window)) {
    if (HMENU file = GetSubMenu(bar, 0)) FillFileMenu(file);
    DrawMenuBar(main.window);
  }
  CreateDirectoryW(main.outputFolder.c_str(), nullptr);

  main.layout.Create(main.window, dpi, kControls, kFonts);
  const ScaledLayout& layout = main.layout;
  main.recordButton = ImageButton(main, 0);
  main.pauseButton = ImageButton(main, 1);
  main.fullScreenButton = ImageButton(main, 2);
  main.regionButton = ImageButton(main, 3);
  main.microphoneButton = ImageButton(main, 4);
  main.webcamButton = ImageButton(main, 5);
  main.folderField = layout.control(kFolderField);
  main.browseButton = layout.control(kBrowseButton);
  main.statusLine = layout.control(kStatusLine);
  SetWindowTextW(main.folderField, main.outputFolder.c_str());
  SetWindowTextW(layout.control(kFooterLine), FooterText().c_str());

  main.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, main.window, nullptr, main.instance, nullptr);
  for (int i = 0; i < 6; ++i) AddTip(main, ImageButton(main, i));

  main.tray = std::make_unique<TrayIcon>(main.window, LoadIconW(main.instance, MAKEINTRESOURCEW(IDI_QUILLOMAT)),
                                         MakeTrayMenu());
  // Held for the window's life; a combination another program holds is gone
  // without, and the button's tip says so.
  RegisterHotkeys(main);
  ShowButtonRow(main);
}

// Dragged to a monitor of another scale (or the scale changed): the size
// Windows suggests, and everything inside laid out and drawn again for it.
void OnDpiChanged(MainWindow& main, WPARAM wParam, LPARAM lParam) {
  main.layout.TakeNewScale(wParam, lParam);
  ShowButtonRow(main);
  InvalidateRect(main.window, nullptr, TRUE);
}

// The ordered take-down: timer, tray icon, drawing objects, then the running
// recording is finished and the engine (and with it Media Foundation) ends.
void OnDestroy(MainWindow& main) {
  KillTimer(main.window, kDurationTimerId);
  UnregisterHotkeys(main.window);
  main.tray.reset();
  main.layout.Clear();
  main.background.reset();
  for (unique_hbitmap& picture : main.pictures) picture.reset();
  WebcamOverlay::Instance().Close();
  main.webcamFlag = false;
  DiscardReadyUpdate();  // closed, not stopped: an update that waited is not started
  if (g_recorder) {
    g_recorder->Stop();
    delete g_recorder;
    g_recorder = nullptr;
  }
  main.window = nullptr;
  PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* state = WindowState<MainWindow>(window, message, lParam);
  if (!state) return DefWindowProcW(window, message, wParam, lParam);
  MainWindow& main = *state;
  switch (message) {
    case WM_CREATE:
      OnCreate(main);
      return 0;
    case WM_GETDPISCALEDSIZE:
      return SuggestScaledSize(kMainWindowFrame, wParam, lParam);
    case WM_DPICHANGED:
      OnDpiChanged(main, wParam, lParam);
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
      const Command* command = FindCommand(LOWORD(wParam));
      if (!command) break;
      command->run(main);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kDurationTimerId) OnDurationTimer(main);
      return 0;
    case WM_HOTKEY:
      RunHotkey(main, static_cast<int>(wParam));
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
      if (TakePendingUpdate() && ShowUpdatePrompt(window)) OnUpdateReady(main);
      return 0;
    case WM_QUERYENDSESSION: {
      // While a recording runs, Windows is asked to wait and shows why (the
      // reason is set with the recording); "shut down anyway" still ends the
      // session, and the file is finished below. A critical end cannot be
      // held up.
      const bool recording = g_recorder && g_recorder->State() != RecorderState::Idle;
      return recording && !(lParam & ENDSESSION_CRITICAL) ? FALSE : TRUE;
    }
    case WM_ENDSESSION:
      // Log-off or shutdown ends the process without WM_DESTROY: finish a
      // running recording now, or its file is left without its index.
      if (wParam && g_recorder) g_recorder->Stop();
      if (wParam) DiscardReadyUpdate();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
