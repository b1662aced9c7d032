// The program's end in an awkward case, in-process: whatever ends the main
// loop, the running recording is finished while the engine (and with it
// Media Foundation) still exists, and the tray icon goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "tests/support/ScreenFixtures.h"
#include "ui/ButtonImage.h"

namespace {

std::atomic<bool> g_engineAliveAtFinalize{false};

// The tray's Exit during a recording while the about window's own loop
// runs: that loop ends with its window, and the main loop then ends too.
// (The close box and the tray's Exit alone are tried from outside.)
TEST(ShutdownTest, EndingInsideAnotherLoopFinishesTheRecordingFirst) {
  GdiplusSession gdiplus;
  StandInReset();
  g_engineAliveAtFinalize = false;
  StandInOptions options;
  options.onCall = [](const StandInCall& call) {
    if (call.step == StandInStep::Finalize) g_engineAliveAtFinalize = g_recorder != nullptr;
  };
  StandInConfigure(options);
  RegisterMainWindowClass(GetModuleHandleW(nullptr));
  ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
  g_recorder->createSinkWriter = &CreateStandInSinkWriter;
  HWND main = g_mainWindow.window;
  TempDir dir;
  SetWindowTextW(g_mainWindow.folderField, dir.path().c_str());
  SendMessageW(main, WM_COMMAND, IDC_RECORD, 0);
  ASSERT_EQ(g_recorder->state.load(), RecorderState::Recording);

  static bool aboutWasOpen;
  aboutWasOpen = false;
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    aboutWasOpen = FindWindowW(L"AboutDlg", nullptr) != nullptr;
    SendMessageW(g_mainWindow.window, WM_COMMAND, IDM_TRAY_EXIT, 0);
  });
  PostMessageW(main, WM_COMMAND, IDM_ABOUT, 0);
  // Should nothing end the loop, this does, with another exit code.
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(9); });
  EXPECT_EQ(RunMainLoop(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_QUILLOMAT))), 0);
  KillTimer(nullptr, watchdog);
  EXPECT_TRUE(aboutWasOpen);
  EXPECT_FALSE(IsWindow(main));
  FinishMainWindow();
  EXPECT_EQ(FindWindowW(L"AboutDlg", nullptr), nullptr);
  EXPECT_EQ(g_mainWindow.tray, nullptr);
  EXPECT_EQ(g_recorder, nullptr);
  const auto records = StandInRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_TRUE(records[0]->released);
  EXPECT_TRUE(g_engineAliveAtFinalize);
  MSG stray;
  EXPECT_FALSE(PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  StandInReset();
}

}  // namespace
