// Process entry.
#include <windows.h>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "common/Win32Handles.h"
#include "recorder/UnfinishedRecordings.h"
#include "res/resource.h"
#include "ui/ButtonImage.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // Whatever is loaded at run time, by us or by a library on our behalf,
  // comes from System32, never from the program's or the current folder.
  // That includes the DLLs the build delay-loads (cmake/Windows.cmake): no
  // call into them may come before this line.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

  // Held for the life of the process; the system releases it at exit.
  HANDLE instanceMutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    ShowAlreadyRunning();
    if (instanceMutex) CloseHandle(instanceMutex);
    return 0;
  }

  // Before anything else: a recording the last run left unfinished (it
  // crashed, or was ended without a stop) is finished from its fragments.
  const std::vector<RecoveredRecording> recovered = RecoverUnfinishedRecordings();

  int exitCode = 0;
  {
    GdiplusSession gdiplus;
    RegisterMainWindowClass(instance);
    MainWindow main;  // audio on, webcam off, nothing timed
    if (!InitInstance(instance, showCommand, main)) return 0;
    ShowRecovered(main, recovered);
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_QUILLOMAT));
    exitCode = RunMainLoop(main, accelerators);
    FinishMainWindow(main);
  }
  return exitCode;
}
