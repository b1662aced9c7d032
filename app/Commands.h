#pragma once
// Every command of the main window in one table: its id, its text in the
// menus, its global hotkey and that key's name, and what it does. The menus,
// the hotkeys, the buttons' names and the dispatch are all made from it.
#include <windows.h>

struct MainWindow;

struct Command {
  int id;                       // of the menu item or button
  const wchar_t* text;          // in a menu; null for a button of the row
  UINT hotkey;                  // with Ctrl+Alt+Shift, from any program; 0: none
  const wchar_t* hotkeyName;    // how the user is told of it
  void (*run)(MainWindow& main);
};

// The command of this id; null when there is none.
const Command* FindCommand(int id);

// The "&File" menu's items, put in the bar's first menu.
void FillFileMenu(HMENU file);
// The tray menu. Its `kTrayDurationPosition`th item shows the duration.
HMENU MakeTrayMenu();
constexpr UINT kTrayDurationPosition = 3;

// The hotkeys registered for `window`, their ids the commands' ids; each
// one another program holds already is gone without.
void RegisterHotkeys(MainWindow& main);
void UnregisterHotkeys(HWND window);
// A hotkey pressed: its command runs, as its button would.
void RunHotkey(MainWindow& main, int id);
