// The program's end in the awkward cases, in-process: whatever ends the main
// loop, the running recording is finished while the engine (and with it
// Media Foundation) still exists, and the tray icon goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "recorder/ScreenRecorder.h"
#include "res/resource.h"
#include "tests/support/ScreenFixtures.h"
#include "ui/ButtonImage.h"

namespace {

std::atomic<bool> g_engineAliveAtFinalize{false};

class ShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    StandInOptions options;
    options.onCall = [](const StandInCall& call) {
      if (call.step == StandInStep::Finalize) g_engineAliveAtFinalize = g_recorder != nullptr;
    };
    StandInConfigure(options);
    RegisterMainWindowClass(GetModuleHandleW(nullptr));
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    g_recorder->createSinkWriter = &CreateStandInSinkWriter;
    main_ = g_mainWindow.window;
    SetWindowTextW(g_mainWindow.folderField, dir_.path().c_str());
    SendMessageW(main_, WM_COMMAND, IDC_RECORD, 0);
    ASSERT_EQ(g_recorder->state.load(), RecorderState::Recording);
  }

  void TearDown() override {
    FinishMainWindow();
    StandInReset();
  }

  // Runs the main loop as the program does; a watchdog ends it should
  // nothing else, and says so.
  int RunMainLoopWatched() {
    const DWORD thread = GetCurrentThreadId();
    unique_kernel_handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> fired{false};
    std::thread watchdog([&] {
      if (WaitForSingleObject(done.get(), 10000) != WAIT_TIMEOUT) return;
      fired = true;
      PostThreadMessageW(thread, WM_QUIT, 9, 0);
    });
    const int code = RunMainLoop(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_QUILLOMAT)));
    SetEvent(done.get());
    watchdog.join();
    EXPECT_FALSE(fired) << "the main loop did not end";
    return code;
  }

  void ExpectRecordingFinishedAndEverythingGone() {
    FinishMainWindow();
    EXPECT_FALSE(IsWindow(main_));
    EXPECT_EQ(g_mainWindow.tray, nullptr);
    EXPECT_EQ(g_recorder, nullptr);
    const auto records = StandInRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->Calls(StandInStep::Finalize).size(), 1u);
    EXPECT_TRUE(records[0]->released);
    EXPECT_TRUE(g_engineAliveAtFinalize);
    MSG stray;
    EXPECT_FALSE(PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  }

  GdiplusSession gdiplus_;
  TempDir dir_;
  HWND main_ = nullptr;
};

// The tray's Exit while the about window's own loop runs: that loop takes
// the quit, and the main loop still ends.
TEST_F(ShutdownTest, ExitInsideANestedLoop) {
  static bool aboutWasOpen;
  aboutWasOpen = false;
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    aboutWasOpen = FindWindowW(L"AboutDlg", nullptr) != nullptr;
    SendMessageW(g_mainWindow.window, WM_COMMAND, IDM_TRAY_EXIT, 0);
  });
  PostMessageW(main_, WM_COMMAND, IDM_ABOUT, 0);
  EXPECT_EQ(RunMainLoopWatched(), 0);
  EXPECT_TRUE(aboutWasOpen);
  EXPECT_EQ(FindWindowW(L"AboutDlg", nullptr), nullptr);
  ExpectRecordingFinishedAndEverythingGone();
}

// A quit posted with the window still up, as an accepted update does after
// starting its installer: the window is taken down after the loop.
TEST_F(ShutdownTest, PostedQuit) {
  PumpMessages(150);
  PostQuitMessage(0);
  EXPECT_EQ(RunMainLoopWatched(), 0);
  EXPECT_TRUE(IsWindow(main_));
  ExpectRecordingFinishedAndEverythingGone();
}

}  // namespace
