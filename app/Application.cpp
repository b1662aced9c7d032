#include "app/Application.h"

#include "app/MainWindow.h"
#include "app/OutputFolder.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"

wchar_t g_mainTitle[100];
wchar_t g_mainClass[100];

void RegisterMainWindowClass(HINSTANCE instance) {
  LoadStringW(instance, IDS_APP_TITLE, g_mainTitle, 100);
  LoadStringW(instance, IDS_MAIN_CLASS, g_mainClass, 100);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLOMAT));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_QUILLOMAT);
  windowClass.lpszClassName = g_mainClass;
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  RegisterClassExW(&windowClass);
}

BOOL InitInstance(HINSTANCE instance, int showCommand) {
  MainWindow& main = g_mainWindow;
  main = MainWindow{};  // audio on, webcam off, nothing timed
  main.instance = instance;
  g_recorder = new ScreenRecorder();
  g_recorder->audioFlag = &main.audioFlag;
  main.outputFolder = DefaultOutputFolder();
  main.captureRegion = PrimaryScreenRegion();

  HWND window = CreateWindowExW(0, g_mainClass, g_mainTitle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                0, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  if (!window) return FALSE;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  g_mainWindowHandle = window;
  // Once per start; never waited for.
  if (HANDLE check = CreateThread(nullptr, 0, UpdateCheckThreadProc, nullptr, 0, nullptr)) CloseHandle(check);
  return TRUE;
}

int RunMainLoop(HACCEL accelerators) {
  MSG message{};
  message.wParam = 0;
  while (g_mainWindow.window != nullptr) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The command goes to the main window, not to whichever child has the
    // focus (a button after a click), which would drop it.
    if (!TranslateAcceleratorW(g_mainWindow.window, accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

void FinishMainWindow() {
  if (g_mainWindow.window) DestroyWindow(g_mainWindow.window);
  // The take-down posted a quit of its own; nothing is left to take it.
  MSG stray;
  PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void ShowAlreadyRunning() {
  HWND first = FindWindowW(nullptr, L"Quillomat");
  if (first) {
    ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
  }
  WNDCLASSEXW helperClass{};
  helperClass.cbSize = sizeof(helperClass);
  helperClass.lpfnWndProc = DefWindowProcW;
  helperClass.hInstance = GetModuleHandleW(nullptr);
  helperClass.lpszClassName = L"_QM_TopHelper";
  RegisterClassExW(&helperClass);
  // An invisible top-most owner brings the box up above every other window.
  HWND helper = CreateWindowExW(WS_EX_TOPMOST, L"_QM_TopHelper", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  MessageBoxW(helper, kAlreadyRunningText, kAlreadyRunningCaption, MB_OK | MB_ICONINFORMATION);
  if (helper) DestroyWindow(helper);
}
