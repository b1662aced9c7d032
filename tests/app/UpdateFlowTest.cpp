// An accepted update ends the program the ordered way: the installer is
// started, the running recording finished and the tray icon removed.
#include <atomic>
#include <thread>

#include "res/resource.h"
#include "tests/app/AppFixture.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownloader.h"

namespace {

TEST_F(AppTest, AcceptedUpdateEndsTheProgramAfterFinishingTheRecording) {
  // The stand-in installer where the local version service serves it.
  wchar_t serviceDir[MAX_PATH] = {}, self[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"QM_VERSION_SERVICE_DIR", serviceDir, MAX_PATH), 0u);
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring installer = self;
  installer = installer.substr(0, installer.find_last_of(L"\\/") + 1) + L"fake_installer.exe";
  const std::wstring files = std::wstring(serviceDir) + L"\\files";
  CreateDirectoryW(files.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(installer.c_str(), (files + L"\\app-setup.exe").c_str(), FALSE));
  g_pendingUpdate = UpdateInfo{L"7.0.0", L"", std::wstring(kServiceBaseUrl) + L"/files/app-setup.exe"};

  Command(IDC_RECORD);
  ASSERT_EQ(g_recorder->state.load(), RecorderState::Recording);
  static std::atomic<bool> failed, loopEnded;
  failed = false;
  loopEnded = false;
  const DWORD uiThread = GetCurrentThreadId();
  std::thread user([uiThread] {
    // The offer box: OK. Then, should the download fail instead, its box is
    // answered and the loop ended, so the test fails rather than waits.
    bool offered = false;
    for (int i = 0; i < 750 && !loopEnded; ++i, Sleep(20)) {
      HWND box = FindWindowW(L"#32770", offered ? kUpdateFailedCaption : kOfferCaption);
      if (!box || !IsWindowVisible(box)) continue;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      if (offered) {
        failed = true;
        PostThreadMessageW(uiThread, WM_QUIT, 1, 0);
        return;
      }
      offered = true;
    }
  });
  PostMessageW(main_, WM_UPDATE_AVAILABLE, 0, 0);
  const int exitCode = RunMainLoop(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_QUILLOMAT)));
  loopEnded = true;
  user.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(exitCode, 0);
  ExpectOrderedEndAfterTheLoop();  // the quit came first; the window goes next
  EXPECT_EQ(AcknowledgedVersion(), L"7.0.0");
  // Stored as the text with its terminator: 7.0.0 is 12 bytes.
  unique_hkey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, KEY_READ | KEY_WRITE, key.put()), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key.get(), kAcknowledgedValue, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 12u);
  RegDeleteValueW(key.get(), kAcknowledgedValue);
}

}  // namespace
