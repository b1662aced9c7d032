#include "app/Commands.h"

#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "app/OutputFolder.h"
#include "app/StatusText.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "ui/Window.h"

namespace {

constexpr UINT kHotkeyModifiers = MOD_CONTROL | MOD_ALT | MOD_SHIFT;

void OnAbout(MainWindow& main) { ShowAboutDialog(main.window); }
void OnExit(MainWindow& main) { DestroyWindow(main.window); }
// Kept as soon as they are applied: the settings window's loop may wait
// below another window's for a long time.
void OnSettings(MainWindow& main) {
  ShowSettingsDialog(main.window, main.settings, [&main] { main.Remember(); });
}
void OnBrowse(MainWindow& main) {
  std::wstring folder;
  if (!ChooseOutputFolder(main.window, folder)) return;
  SetWindowTextW(main.folderField, folder.c_str());
  main.outputFolder = main.settings.outputFolder = folder;
  main.Remember();
}
void OnShow(MainWindow& main) {
  ShowWindow(main.window, SW_RESTORE);
  SetForegroundWindow(main.window);
}
void OnHide(MainWindow& main) { ShowWindow(main.window, SW_HIDE); }

// The tray menu's items are twins of the "&File" menu's, with ids of their own.
const Command kCommands[] = {
    {IDC_RECORD, nullptr, VK_F9, L"Ctrl+Alt+Shift+F9", OnRecordCommand},
    {IDC_PAUSE, nullptr, VK_F10, L"Ctrl+Alt+Shift+F10", OnPauseCommand},
    {IDC_FULLSCREEN, nullptr, 0, nullptr, OnFullScreenCommand},
    {IDC_REGION, nullptr, 0, nullptr, OnRegionCommand},
    {IDC_MICROPHONE, nullptr, 0, nullptr, OnMicrophoneCommand},
    {IDC_WEBCAM, nullptr, 0, nullptr, OnWebcamCommand},
    {IDC_BROWSE, nullptr, 0, nullptr, OnBrowse},
    {IDM_COMPUTER_SOUND, kComputerSoundItem, 0, nullptr, OnComputerSoundCommand},
    {IDM_SETTINGS, L"General Settings...", 0, nullptr, OnSettings},
    {IDM_OPEN_FOLDER, kOpenFolderItem, 0, nullptr, OnOpenFolderCommand},
    {IDM_EXIT, L"E&xit", 0, nullptr, OnExit},
    {IDM_ABOUT, L"&About ...", 0, nullptr, OnAbout},
    {IDM_TRAY_SHOW, L"Show Window", 0, nullptr, OnShow},
    {IDM_TRAY_HIDE, L"Hide Window", 0, nullptr, OnHide},
    {IDM_TRAY_COMPUTER_SOUND, kComputerSoundItem, 0, nullptr, OnComputerSoundCommand},
    {IDM_TRAY_OPEN_FOLDER, kOpenFolderItem, 0, nullptr, OnOpenFolderCommand},
    {IDM_TRAY_EXIT, L"Exit", 0, nullptr, OnExit},
};

// The menus by their commands' ids; 0 is a separator, -1 the duration.
constexpr int kFileMenu[] = {IDM_COMPUTER_SOUND, IDM_SETTINGS, IDM_OPEN_FOLDER, 0, IDM_EXIT};
constexpr int kTrayMenu[] = {IDM_TRAY_SHOW,           IDM_TRAY_HIDE,        0, -1, 0,
                             IDM_TRAY_COMPUTER_SOUND, IDM_TRAY_OPEN_FOLDER, 0, IDM_TRAY_EXIT};

template <size_t N>
void Fill(HMENU menu, const int (&items)[N]) {
  for (const int id : items) {
    if (id == 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (id < 0) {
      AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, (kTrayDurationPrefix + FormatDuration(0)).c_str());
    } else {
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), FindCommand(id)->text);
    }
  }
}

}  // namespace

const Command* FindCommand(int id) {
  for (const Command& command : kCommands) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

void FillFileMenu(HMENU file) {
  while (GetMenuItemCount(file) > 0) DeleteMenu(file, 0, MF_BYPOSITION);
  Fill(file, kFileMenu);
}

HMENU MakeTrayMenu() {
  HMENU menu = CreatePopupMenu();
  if (menu) Fill(menu, kTrayMenu);
  return menu;
}

void RegisterHotkeys(MainWindow& main) {
  for (const Command& command : kCommands) {
    if (!command.hotkey) continue;
    const bool held = RegisterHotKey(main.window, command.id, kHotkeyModifiers | MOD_NOREPEAT, command.hotkey) != FALSE;
    if (command.id == IDC_RECORD) main.recordHotkey = held;
    if (command.id == IDC_PAUSE) main.pauseHotkey = held;
  }
}

void UnregisterHotkeys(HWND window) {
  for (const Command& command : kCommands) {
    if (command.hotkey) UnregisterHotKey(window, command.id);
  }
}

void RunHotkey(MainWindow& main, int id) {
  // As the buttons: not while the region overlay or the settings window
  // has the program's attention.
  if (FindOwnWindow(kRegionSelectorClass) || FindOwnWindow(kSettingsClass)) return;
  const Command* command = FindCommand(id);
  if (command && command->hotkey) command->run(main);
}
