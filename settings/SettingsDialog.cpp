#include "settings/SettingsDialog.h"

#include <algorithm>

#include "common/Win32Handles.h"
#include "recorder/ScreenRecorder.h"
#include "webcam/WebcamOverlay.h"
#include "ui/ButtonImage.h"
#include "ui/Theme.h"
#include "ui/Window.h"

namespace {

constexpr int kWidth = 460, kHeight = 390;
constexpr COLORREF kFieldColour = RGB(62, 62, 68);

const wchar_t* const kResolutions[] = {L"1080p  (1920\u00D71080)", L"2K  (2560\u00D71440)", L"4K  (3840\u00D72160)"};
const wchar_t* const kCorners[] = {L"Top-Left", L"Top-Right", L"Bottom-Left", L"Bottom-Right"};

// The drawing objects, made once and kept for the rest of the process.
struct SettingsLook {
  HBRUSH background = CreateSolidBrush(kWindowBackground);
  HBRUSH field = CreateSolidBrush(kFieldColour);
  HFONT normalFont = MakeFont(14, FW_NORMAL).release();
  HFONT headingFont = MakeFont(16, FW_SEMIBOLD).release();
};
const SettingsLook& Look() {
  static const SettingsLook look;
  return look;
}

// One opening of the window: what it was given, its lists, and where an
// Apply goes. Lives on the opener's stack, which outlives the window.
struct SettingsWindow {
  HWND window = nullptr;
  SettingsDialogData data;
  RecordingSettings& target;
  HWND resolutionList = nullptr, audioList = nullptr, webcamList = nullptr;
};
// The window while it is open: one at a time.
HWND g_openSettings = nullptr;

SettingsWindow* StateOf(HWND window) {
  return reinterpret_cast<SettingsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Fills a list and selects `index`, pulled back to the last entry when it
// lies past the end (a device that has gone since).
void Fill(HWND list, const std::vector<std::wstring>& entries, int index, bool clamp) {
  for (const std::wstring& entry : entries) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(clamp ? std::min(count - 1, index) : index), 0);
}

int Selection(HWND list) {
  const LRESULT chosen = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return chosen < 0 ? 0 : static_cast<int>(chosen);
}

void OnCreate(SettingsWindow& s) {
  HWND w = s.window;
  const SettingsLook& look = Look();
  MakeControl(w, L"STATIC", L"\u2699  General Settings", SS_CENTER, 0, 14, 460, 24, 0, look.headingFont);
  MakeControl(w, L"STATIC", L"Recording Resolution", 0, 24, 80, 200, 16, 0, look.normalFont);
  s.resolutionList = MakeControl(w, L"COMBOBOX", nullptr, WS_VSCROLL | CBS_DROPDOWNLIST, 24, 98, 412, 120,
                                 kResolutionListId, look.normalFont);
  MakeControl(w, L"STATIC", L"Audio Device", 0, 24, 138, 200, 16, 0, look.normalFont);
  s.audioList = MakeControl(w, L"COMBOBOX", nullptr, WS_VSCROLL | CBS_DROPDOWNLIST, 24, 156, 412, 160, kAudioListId,
                            look.normalFont);
  MakeControl(w, L"STATIC", L"Webcam Position", 0, 24, 196, 200, 16, 0, look.normalFont);
  s.webcamList = MakeControl(w, L"COMBOBOX", nullptr, WS_VSCROLL | CBS_DROPDOWNLIST, 24, 214, 412, 120, kWebcamListId,
                             look.normalFont);
  MakeControl(w, L"BUTTON", L"Close", BS_OWNERDRAW, 196, 262, 100, 32, kCloseButtonId, look.normalFont);
  MakeControl(w, L"BUTTON", L"Apply Settings", BS_OWNERDRAW, 304, 262, 132, 32, kApplyButtonId, look.headingFont);

  const RecordingSettings& current = s.data.settings;
  Fill(s.resolutionList, {std::begin(kResolutions), std::end(kResolutions)}, current.resolutionIndex, true);
  std::vector<std::wstring> audio{L"No Audio"};
  audio.insert(audio.end(), s.data.audioDeviceNames.begin(), s.data.audioDeviceNames.end());
  Fill(s.audioList, audio, current.audioDeviceIndex, true);
  Fill(s.webcamList, {std::begin(kCorners), std::end(kCorners)}, current.webcamPosition, false);
}

// Applied at once, not when the opener's loop returns: that loop may be
// waiting below another window's for a long time.
void OnApply(SettingsWindow& s) {
  s.data.settings.resolutionIndex = Selection(s.resolutionList);
  s.data.settings.audioDeviceIndex = Selection(s.audioList);
  s.data.settings.webcamPosition = Selection(s.webcamList);
  s.data.applied = true;
  s.target = s.data.settings;
  WebcamOverlay& webcam = WebcamOverlay::Instance();
  if (webcam.IsActive()) webcam.Reposition(s.target.webcamPosition);
  DestroyWindow(s.window);
}

LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* state = static_cast<SettingsWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    state->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  }
  SettingsWindow* s = StateOf(window);
  if (!s) return DefWindowProcW(window, message, wParam, lParam);
  const SettingsLook& look = Look();
  switch (message) {
    case WM_CREATE:
      g_openSettings = window;
      OnCreate(*s);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kApplyButtonId) OnApply(*s);
      if (LOWORD(wParam) == kCloseButtonId) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      g_openSettings = nullptr;
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam), look.background);
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_BUTTON) break;
      PaintOwnerButton(*item);
      return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      SetBkColor(reinterpret_cast<HDC>(wParam), kFieldColour);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(230, 230, 230));
      return reinterpret_cast<LRESULT>(look.field);
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(220, 220, 220));
      return reinterpret_cast<LRESULT>(look.background);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool ShowSettingsDialog(HWND owner, RecordingSettings& current) {
  if (g_openSettings) {
    // Already open (its opener waits further up this thread's stack).
    SetForegroundWindow(g_openSettings);
    return false;
  }
  SettingsWindow state{nullptr, SettingsDialogData{current, false, {}}, current};
  if (g_recorder) state.data.audioDeviceNames = g_recorder->EnumerateAudioCaptureDevices();

  WindowClass windowClass{kSettingsClass, SettingsProc};
  windowClass.background = [] { return CreateSolidBrush(kWindowBackground); };
  RegisterWindowClass(windowClass);
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kSettingsClass, L"General Settings",
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, kWidth, kHeight, owner, nullptr,
                                GetModuleHandleW(nullptr), &state);
  // No window, no loop: nothing would end it. The settings stay as they were.
  if (!window) return false;
  PlaceCentredOver(window, owner, kWidth, kHeight);
  ShowWindow(window, SW_SHOW);

  RunLoopUntilClosed(window);
  // Still there when the program is ending: nothing more is applied.
  if (IsWindow(window)) DestroyWindow(window);
  return state.data.applied;
}
