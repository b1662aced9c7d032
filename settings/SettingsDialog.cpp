#include "settings/SettingsDialog.h"

#include <string>

#include "common/Win32Handles.h"
#include "recorder/ScreenRecorder.h"
#include "webcam/WebcamOverlay.h"
#include "ui/ButtonImage.h"
#include "ui/Theme.h"
#include "ui/Window.h"

namespace {

constexpr WindowFrame kFrame{460, 410, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME | WS_EX_TOPMOST};

const wchar_t* const kCorners[] = {L"Top-Left", L"Top-Right", L"Bottom-Left", L"Bottom-Right"};

enum SettingsFont { kNormalFont, kHeadingFont };
const FontSpec kFonts[] = {{14, FW_NORMAL}, {16, FW_SEMIBOLD}};
enum SettingsControl {
  kHeading,
  kResolutionLabel,
  kResolutionList,
  kFrameRateLabel,
  kFrameRateList,
  kAudioLabel,
  kAudioList,
  kWebcamLabel,
  kWebcamList,
};
constexpr DWORD kListStyle = WS_VSCROLL | CBS_DROPDOWNLIST;
const ControlSpec kControls[] = {
    {L"STATIC", L"\u2699  General Settings", SS_CENTER, 0, 14, 460, 24, 0, kHeadingFont},
    {L"STATIC", L"Recording Resolution", 0, 24, 70, 200, 16, 0, kNormalFont},
    {L"COMBOBOX", nullptr, kListStyle, 24, 88, 412, 140, kResolutionListId, kNormalFont},
    {L"STATIC", L"Frame Rate", 0, 24, 128, 200, 16, 0, kNormalFont},
    {L"COMBOBOX", nullptr, kListStyle, 24, 146, 412, 100, kFrameRateListId, kNormalFont},
    {L"STATIC", L"Audio Device", 0, 24, 186, 200, 16, 0, kNormalFont},
    {L"COMBOBOX", nullptr, kListStyle, 24, 204, 412, 160, kAudioListId, kNormalFont},
    {L"STATIC", L"Webcam Position", 0, 24, 244, 200, 16, 0, kNormalFont},
    {L"COMBOBOX", nullptr, kListStyle, 24, 262, 412, 120, kWebcamListId, kNormalFont},
    {L"BUTTON", L"Close", BS_OWNERDRAW, 196, 312, 100, 32, kCloseButtonId, kNormalFont},
    {L"BUTTON", L"Apply Settings", BS_OWNERDRAW, 304, 312, 132, 32, kApplyButtonId, kHeadingFont},
};

// The brushes, made once and kept for the rest of the process.
struct SettingsLook {
  HBRUSH background = CreateSolidBrush(kWindowBackground);
  HBRUSH field = CreateSolidBrush(kFieldColour);
};
const SettingsLook& Look() {
  static const SettingsLook look;
  return look;
}

// One opening of the window: what it was given, its lists, and where an
// Apply goes. Lives on the opener's stack, which outlives the window.
struct SettingsWindow {
  HWND window = nullptr;
  RecordingSettings& target;
  const std::function<void()>& onApply;
  bool applied = false;
  // The microphones listed after the default one: the devices there now,
  // then the one chosen earlier when it is not among them.
  std::vector<AudioDevice> microphones;
  ScaledLayout layout;
  HWND resolutionList = nullptr, frameRateList = nullptr, audioList = nullptr, webcamList = nullptr;
};

void Fill(HWND list, const std::vector<std::wstring>& entries, int index) {
  for (const std::wstring& entry : entries) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Selection(HWND list) {
  const LRESULT chosen = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return chosen < 0 ? 0 : static_cast<int>(chosen);
}

void OnCreate(SettingsWindow& s) {
  s.layout.Create(s.window, DpiOf(s.window), kControls, kFonts);
  s.resolutionList = s.layout.control(kResolutionList);
  s.frameRateList = s.layout.control(kFrameRateList);
  s.audioList = s.layout.control(kAudioList);
  s.webcamList = s.layout.control(kWebcamList);

  const RecordingSettings& current = s.target;
  std::vector<std::wstring> entries;
  for (const VideoSizeChoice& size : kVideoSizes) entries.emplace_back(size.text);
  Fill(s.resolutionList, entries, current.resolutionIndex);
  entries.clear();
  int rate = 0;
  for (const uint32_t framesPerSecond : kFrameRates) {
    if (framesPerSecond == current.framesPerSecond) rate = static_cast<int>(entries.size());
    entries.push_back(std::to_wstring(framesPerSecond) + L" frames per second");
  }
  Fill(s.frameRateList, entries, rate);
  // Known by its id, not its place: devices come and go between openings.
  entries.assign(1, kDefaultMicrophoneEntry);
  int microphone = 0;
  for (const AudioDevice& device : s.microphones) {
    if (device.id == current.microphoneId) microphone = static_cast<int>(entries.size());
    entries.push_back(device.name);
  }
  if (microphone == 0 && !current.microphoneId.empty()) {
    // Unplugged now: kept unless the user chooses another.
    microphone = static_cast<int>(entries.size());
    s.microphones.push_back({current.microphoneId, {}});
    entries.emplace_back(kAbsentMicrophoneEntry);
  }
  Fill(s.audioList, entries, microphone);
  Fill(s.webcamList, {std::begin(kCorners), std::end(kCorners)}, current.webcamPosition);
}

// Applied at once, not when the opener's loop returns: that loop may be
// waiting below another window's for a long time.
void OnApply(SettingsWindow& s) {
  RecordingSettings& chosen = s.target;
  chosen.resolutionIndex = Selection(s.resolutionList);
  chosen.framesPerSecond = kFrameRates[Selection(s.frameRateList)];
  const int microphone = Selection(s.audioList);
  chosen.microphoneId = microphone == 0 ? std::wstring() : s.microphones[static_cast<size_t>(microphone - 1)].id;
  chosen.webcamPosition = Selection(s.webcamList);
  s.applied = true;
  WebcamOverlay& webcam = WebcamOverlay::Instance();
  if (webcam.IsActive()) webcam.Reposition(chosen.webcamPosition);
  if (s.onApply) s.onApply();
  DestroyWindow(s.window);
}

LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SettingsWindow* s = WindowState<SettingsWindow>(window, message, lParam);
  if (!s) return DefWindowProcW(window, message, wParam, lParam);
  const SettingsLook& look = Look();
  switch (message) {
    case WM_CREATE:
      OnCreate(*s);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kApplyButtonId) OnApply(*s);
      if (LOWORD(wParam) == kCloseButtonId) DestroyWindow(window);
      return 0;
    case WM_GETDPISCALEDSIZE:
      return SuggestScaledSize(kFrame, wParam, lParam);
    case WM_DPICHANGED:
      s->layout.TakeNewScale(wParam, lParam);
      return 0;
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
      SetTextColor(reinterpret_cast<HDC>(wParam), kFieldTextColour);
      return reinterpret_cast<LRESULT>(look.field);
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), kSettingsLabelColour);
      return reinterpret_cast<LRESULT>(look.background);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool ShowSettingsDialog(HWND owner, RecordingSettings& current, const std::function<void()>& applied) {
  if (HWND open = FindOwnWindow(kSettingsClass)) {
    // Already open (its opener waits further up this thread's stack).
    SetForegroundWindow(open);
    return false;
  }
  SettingsWindow state{nullptr, current, applied, false, {}, {}};
  if (g_recorder) state.microphones = g_recorder->EnumerateAudioCaptureDevices();

  WindowClass windowClass{kSettingsClass, SettingsProc};
  windowClass.background = [] { return CreateSolidBrush(kWindowBackground); };
  RegisterWindowClass(windowClass);
  // Made where it goes, centred over its owner, at the scale of the owner's
  // monitor: made elsewhere and moved there, it would be scaled again.
  const SIZE size = ScaledWindowSize(kFrame, DpiOf(owner));
  const PixelPoint at = CentredOverWindow(owner, size.cx, size.cy);
  HWND window = CreateWindowExW(kFrame.exStyle, kSettingsClass, L"General Settings", kFrame.style, at.x, at.y, size.cx,
                                size.cy, owner, nullptr, GetModuleHandleW(nullptr), &state);
  // No window, no loop: nothing would end it. The settings stay as they were.
  if (!window) return false;
  ShowWindow(window, SW_SHOW);

  RunLoopUntilClosed(window);
  // Still there when the program is ending: nothing more is applied.
  if (IsWindow(window)) DestroyWindow(window);
  return state.applied;
}
