#pragma once
// Start and end of the process: single instance, engine, main window, loop.
#include <windows.h>

#include "common/ProductInfo.h"

inline constexpr wchar_t kSingleInstanceMutex[] = L"" QM_PRODUCT_NAME "_SingleInstance_9F3A";
inline constexpr wchar_t kAlreadyRunningText[] =
    L"" QM_PRODUCT_NAME " is already running.\nCheck the system tray (bottom-right corner).";
inline constexpr wchar_t kAlreadyRunningCaption[] = L"" QM_PRODUCT_NAME;

struct MainWindow;

// Makes the engine and the main window, with `main` as its state, and shows
// it; FALSE when the window could not be made.
BOOL InitInstance(HINSTANCE instance, int showCommand, MainWindow& main);

// Registers the main window class (icons, menu, class name from resources).
void RegisterMainWindowClass(HINSTANCE instance);

// The main loop with the accelerator table. Ends with the quit request, or
// as soon as the main window is gone (its quit may have been taken by a
// nested loop). Returns the exit code.
int RunMainLoop(const MainWindow& main, HACCEL accelerators);

// After the loop: a main window still standing (the loop was ended by a
// posted quit) is destroyed, so a running recording is finished and the
// tray icon removed before the process ends.
void FinishMainWindow(const MainWindow& main);

// The second-copy path: brings the first copy's window forward and says so.
void ShowAlreadyRunning();

// The main window title and class, loaded from the string resources.
extern wchar_t g_mainTitle[100];
extern wchar_t g_mainClass[100];
