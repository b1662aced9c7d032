// The main loop's end in the awkward cases, and its accelerators.
#include <atomic>
#include <thread>

#include "res/resource.h"
#include "tests/app/AppFixture.h"

namespace {

// Ends a loop that would otherwise wait for ever, and says so.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms) : thread_(GetCurrentThreadId()) {
    worker_ = std::thread([this, ms] {
      if (WaitForSingleObject(done_.get(), ms) == WAIT_TIMEOUT) {
        fired_ = true;
        PostThreadMessageW(thread_, WM_QUIT, 0, 0);
      }
    });
  }
  ~Watchdog() {
    SetEvent(done_.get());
    worker_.join();
  }
  bool fired() const { return fired_; }

 private:
  DWORD thread_;
  unique_kernel_handle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> fired_{false};
  std::thread worker_;
};

HACCEL Accelerators() { return LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_QUILLOMAT)); }

TEST_F(AppTest, MainLoopEndsWhenTheWindowIsDestroyedInsideANestedLoop) {
  Command(IDC_RECORD);
  static bool aboutWasOpen;
  aboutWasOpen = false;
  // Inside the about window's loop, the tray's Exit ends the program.
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    aboutWasOpen = FindWindowW(L"AboutDlg", nullptr) != nullptr;
    SendMessageW(g_mainWindow.window, WM_COMMAND, IDM_TRAY_EXIT, 0);
  });
  PostMessageW(main_, WM_COMMAND, IDM_ABOUT, 0);
  Watchdog watchdog(10000);
  EXPECT_EQ(RunMainLoop(Accelerators()), 0);
  EXPECT_FALSE(watchdog.fired());
  EXPECT_TRUE(aboutWasOpen);
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_EQ(FindWindowW(L"AboutDlg", nullptr), nullptr);
  EXPECT_EQ(g_recorder, nullptr);
  ASSERT_EQ(StandInRecords().size(), 1u);
  EXPECT_EQ(StandInRecords()[0]->Calls(StandInStep::Finalize).size(), 1u);
}

TEST_F(AppTest, PostedQuitStillFinishesTheRecordingAndRemovesTheTrayIcon) {
  Command(IDC_RECORD);
  PumpMessages(150);
  PostQuitMessage(0);  // as the update prompt does after starting an installer
  Watchdog watchdog(10000);
  EXPECT_EQ(RunMainLoop(Accelerators()), 0);
  EXPECT_FALSE(watchdog.fired());
  ExpectOrderedEndAfterTheLoop();
  MSG stray;
  EXPECT_FALSE(PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Alt+"?" and Alt+"/" open the about window from the main loop.
TEST_F(AppTest, AltQuestionMarkAndAltSlashOpenTheAboutWindow) {
  static int opened, typed;
  opened = typed = 0;
  // Every 250 ms: close an open about window (counting it), or type the next
  // key from the main loop, or end the program when both keys were tried.
  SetTimer(nullptr, 0, 250, [](HWND, UINT, UINT_PTR id, DWORD) {
    if (HWND about = FindWindowW(L"AboutDlg", nullptr)) {
      ++opened;
      SendMessageW(about, WM_CLOSE, 0, 0);
      return;
    }
    if (typed == 2) {
      KillTimer(nullptr, id);
      PostMessageW(g_mainWindow.window, WM_COMMAND, IDM_EXIT, 0);
      return;
    }
    // A typed character with Alt held: WM_SYSCHAR with bit 29 set, and the
    // Alt key down in the thread's key state, which the accelerator checks.
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_MENU] |= 0x80;
    SetKeyboardState(state);
    // Typed while a button has the focus, as after a click on it.
    PostMessageW(g_mainWindow.recordButton, WM_SYSCHAR, typed++ == 0 ? L'?' : L'/', 1 << 29);
  });
  SetFocus(g_mainWindow.recordButton);
  Watchdog watchdog(15000);
  RunMainLoop(Accelerators());
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_MENU] = 0;
  SetKeyboardState(state);
  EXPECT_FALSE(watchdog.fired());
  EXPECT_EQ(typed, 2);
  EXPECT_EQ(opened, 2);
}

}  // namespace
