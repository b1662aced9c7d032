// The "General Settings" window, driven from inside its own loop.
#include "settings/SettingsDialog.h"

#include <functional>

#include "res/resource.h"
#include "tests/app/AppFixture.h"
#include "tests/support/Screenshot.h"

namespace {

HWND SettingsWindow() { return FindWindowW(kSettingsClass, L"General Settings"); }

// Runs the settings window; `user` is called once inside its loop, with the
// window, and must close it.
bool RunSettings(RecordingSettings& settings, std::function<void(HWND)> user) {
  static std::function<void(HWND)> act;
  act = std::move(user);
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND window = SettingsWindow();
    if (window) {
      act(window);
    } else {
      ADD_FAILURE() << "no settings window";
      PostQuitMessage(0);  // ends the settings window's loop
    }
  });
  return ShowSettingsDialog(g_mainWindow.window, settings);
}

void Choose(HWND window, int listId, int index) { SendDlgItemMessageW(window, listId, CB_SETCURSEL, index, 0); }
int Chosen(HWND window, int listId) { return static_cast<int>(SendDlgItemMessageW(window, listId, CB_GETCURSEL, 0, 0)); }
void Press(HWND window, int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::vector<std::wstring> Entries(HWND window, int listId) {
  std::vector<std::wstring> out;
  const int count = static_cast<int>(SendDlgItemMessageW(window, listId, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    SendDlgItemMessageW(window, listId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    out.push_back(text);
  }
  return out;
}

TEST_F(AppTest, SettingsCloseKeepsAndApplyStores) {
  RecordingSettings settings{1, 0, 2};
  // Close after changing every list: nothing is stored.
  EXPECT_FALSE(RunSettings(settings, [](HWND w) {
    Choose(w, kResolutionListId, 2);
    Choose(w, kWebcamListId, 0);
    Press(w, kCloseButtonId);
  }));
  EXPECT_EQ(settings.resolutionIndex, 1);
  EXPECT_EQ(settings.webcamPosition, 2);
  // Apply without changes writes the same values back.
  EXPECT_TRUE(RunSettings(settings, [](HWND w) { Press(w, kApplyButtonId); }));
  EXPECT_EQ(settings.resolutionIndex, 1);
  EXPECT_EQ(settings.audioDeviceIndex, 0);
  EXPECT_EQ(settings.webcamPosition, 2);
  // Apply after changes stores them.
  EXPECT_TRUE(RunSettings(settings, [](HWND w) {
    Choose(w, kResolutionListId, 2);
    Choose(w, kWebcamListId, 1);
    Press(w, kApplyButtonId);
  }));
  EXPECT_EQ(settings.resolutionIndex, 2);
  EXPECT_EQ(settings.webcamPosition, 1);
  // The close box is Close.
  EXPECT_FALSE(RunSettings(settings, [](HWND w) {
    Choose(w, kWebcamListId, 3);
    SendMessageW(w, WM_CLOSE, 0, 0);
  }));
  EXPECT_EQ(settings.webcamPosition, 1);
  // The menu command opens it for the main window's own settings.
  static bool opened;
  opened = false;
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (HWND w = SettingsWindow()) {
      opened = true;
      Choose(w, kWebcamListId, 3);
      Press(w, kApplyButtonId);
    }
  });
  Command(IDM_SETTINGS);
  EXPECT_TRUE(opened);
  EXPECT_EQ(g_mainWindow.settings.webcamPosition, 3);
}

TEST_F(AppTest, SettingsListsTextsAndLayout) {
  RecordingSettings settings{0, 3, 1};  // device 3 no longer exists
  static std::vector<std::wstring> resolutions, audio, corners, texts;
  static int audioChosen, webcamChosen;
  static RECT outer, apply;
  static DWORD applyStyle;
  RunSettings(settings, [](HWND w) {
    resolutions = Entries(w, kResolutionListId);
    audio = Entries(w, kAudioListId);
    corners = Entries(w, kWebcamListId);
    audioChosen = Chosen(w, kAudioListId);
    webcamChosen = Chosen(w, kWebcamListId);
    texts.clear();
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t text[128] = {};
      GetWindowTextW(c, text, 128);
      texts.push_back(text);
    }
    GetWindowRect(w, &outer);
    GetWindowRect(GetDlgItem(w, kApplyButtonId), &apply);
    applyStyle = static_cast<DWORD>(GetWindowLongPtrW(GetDlgItem(w, kApplyButtonId), GWL_STYLE));
    // Save what it looks like, once it has reached the screen.
    UpdateWindow(w);
    PumpMessages(700);
    SaveScreenshot(outer, L"settings-window");
    Press(w, kApplyButtonId);
  });
  EXPECT_EQ(resolutions, (std::vector<std::wstring>{L"1080p  (1920\u00D71080)", L"2K  (2560\u00D71440)",
                                                     L"4K  (3840\u00D72160)"}));
  EXPECT_EQ(corners, (std::vector<std::wstring>{L"Top-Left", L"Top-Right", L"Bottom-Left", L"Bottom-Right"}));
  ASSERT_FALSE(audio.empty());
  EXPECT_EQ(audio[0], L"No Audio");
  // No sound server here: "No Audio" alone, and index 3 comes back as the last entry.
  EXPECT_EQ(audioChosen, static_cast<int>(audio.size()) - 1);
  EXPECT_EQ(settings.audioDeviceIndex, static_cast<int>(audio.size()) - 1);
  EXPECT_EQ(webcamChosen, 1);
  ASSERT_GE(texts.size(), 9u);
  EXPECT_EQ(texts[0], L"\u2699  General Settings");
  EXPECT_EQ(texts[1], L"Recording Resolution");
  EXPECT_EQ(texts[3], L"Audio Device");
  EXPECT_EQ(texts[5], L"Webcam Position");
  EXPECT_EQ(texts[7], L"Close");
  EXPECT_EQ(texts[8], L"Apply Settings");
  EXPECT_EQ(outer.right - outer.left, 460);
  EXPECT_EQ(outer.bottom - outer.top, 390);
  RECT owner;
  GetWindowRect(main_, &owner);
  EXPECT_EQ(outer.left, owner.left + (owner.right - owner.left - 460) / 2);
  EXPECT_EQ(apply.right - apply.left, 132);
  EXPECT_EQ(applyStyle & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
}

TEST_F(AppTest, SecondSettingsCommandBringsTheOpenWindowForward) {
  static int windows;
  windows = 0;
  RecordingSettings settings;
  RunSettings(settings, [](HWND w) {
    // The main window's menu stays usable: a second opening while open.
    SendMessageW(g_mainWindow.window, WM_COMMAND, IDM_SETTINGS, 0);
    for (HWND found = nullptr; (found = FindWindowExW(nullptr, found, kSettingsClass, nullptr)) != nullptr;) ++windows;
    EXPECT_EQ(GetForegroundWindow(), w);
    Press(w, kCloseButtonId);
  });
  EXPECT_EQ(windows, 1);
}

}  // namespace
