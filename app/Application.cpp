#include "app/Application.h"

#include "app/MainWindow.h"
#include "app/OutputFolder.h"
#include "common/ProductInfo.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "settings/SettingsStore.h"
#include "ui/Window.h"

wchar_t g_mainTitle[100];
wchar_t g_mainClass[100];

void RegisterMainWindowClass(HINSTANCE instance) {
  LoadStringW(instance, IDS_APP_TITLE, g_mainTitle, 100);
  LoadStringW(instance, IDS_MAIN_CLASS, g_mainClass, 100);
  WindowClass windowClass{g_mainClass, MainWndProc, CS_HREDRAW | CS_VREDRAW};
  windowClass.background = [] { return reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1); };
  windowClass.instance = instance;
  windowClass.icon = IDI_QUILLOMAT;
  windowClass.smallIcon = IDI_SMALL;
  windowClass.menu = IDC_QUILLOMAT;
  RegisterWindowClass(windowClass);
}

BOOL InitInstance(HINSTANCE instance, int showCommand, MainWindow& main) {
  main.instance = instance;
  g_recorder = new ScreenRecorder();
  main.settings = LoadSettings();
  main.outputFolder = main.settings.outputFolder.empty() ? DefaultOutputFolder() : main.settings.outputFolder;
  main.captureRegion = PrimaryScreenRegion();

  const WindowFrame& frame = kMainWindowFrame;
  HWND window = CreateWindowExW(frame.exStyle, g_mainClass, g_mainTitle, frame.style, CW_USEDEFAULT, 0, frame.width,
                                frame.height, nullptr, nullptr, instance, &main);
  if (!window) return FALSE;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  g_mainWindowHandle = window;
  // Once per start; never waited for.
  if (HANDLE check = CreateThread(nullptr, 0, UpdateCheckThreadProc, nullptr, 0, nullptr)) CloseHandle(check);
  return TRUE;
}

int RunMainLoop(const MainWindow& main, HACCEL accelerators) {
  MSG message{};
  message.wParam = 0;
  while (main.window != nullptr) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The command goes to the main window, not to whichever child has the
    // focus (a button after a click), which would drop it.
    // Then the keyboard of a dialog: Tab and Shift+Tab through the buttons,
    // Space and Enter to press the one with the focus.
    if (!TranslateAcceleratorW(main.window, accelerators, &message) && !IsDialogMessageW(main.window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

void FinishMainWindow(const MainWindow& main) {
  if (main.window) DestroyWindow(main.window);
  // The take-down posted a quit of its own; nothing is left to take it.
  MSG stray;
  PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void ShowAlreadyRunning() {
  HWND first = FindWindowW(nullptr, kProductName);
  if (first) {
    ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
  }
  RegisterWindowClass({L"_QM_TopHelper", DefWindowProcW, 0, nullptr});
  // An invisible top-most owner brings the box up above every other window.
  HWND helper = CreateWindowExW(WS_EX_TOPMOST, L"_QM_TopHelper", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  MessageBoxW(helper, kAlreadyRunningText, kAlreadyRunningCaption, MB_OK | MB_ICONINFORMATION);
  if (helper) DestroyWindow(helper);
}
