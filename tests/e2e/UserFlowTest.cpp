// The program's other roads, clicked as a user clicks them: the webcam that
// cannot be opened, the settings window from the File menu, an update offer
// declined and one installed, and ending the program while it records; and
// the version the program file carries.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/StatusText.h"
#include "app/TrayIcon.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/Screenshot.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownloader.h"
#include "update/Version.h"
#include "webcam/WebcamOverlay.h"

namespace {

// The box a program shows with this caption, and its text.
HWND FindBox(const Program& program, const wchar_t* caption, DWORD timeoutMs = 10000) {
  return program.FindWindowOfClass(L"#32770", timeoutMs, caption);
}
std::wstring BoxText(HWND box) { return TextOf(GetDlgItem(box, 0xFFFF)); }

// Clicks the item of an open popup menu `fromTop` items below its top
// (or, negative, above its bottom), ordinary items being this tall.
void ClickMenuItem(HWND popup, int fromTop) {
  RECT r{};
  GetWindowRect(popup, &r);
  const int item = GetSystemMetrics(SM_CYMENUSIZE);
  const int y = fromTop >= 0 ? r.top + 3 + fromTop * item + item / 2 : r.bottom - 3 + fromTop * item + item / 2;
  ClickAt(r.left + 30, y);
}

TEST_F(EndToEndTest, WebcamThatCannotOpenSaysSoAndChangesNothing) {
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  ClickOn(GetDlgItem(main, IDC_WEBCAM));
  HWND box = FindBox(program, kWebcamFailureCaption);
  ASSERT_NE(box, nullptr) << "no camera here, so the failure box";
  EXPECT_EQ(BoxText(box),
            L"Unable to open webcam.\nPlease check camera access in\nWindows Settings \u2192 Privacy \u2192 Camera.");
  ClickOn(GetDlgItem(box, IDOK));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
  EXPECT_EQ(FindVisibleWindow(program.id(), kWebcamOverlayClass), nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(main, IDC_STATUS)), kStatusReady);

  // A recording still starts and ends as usual.
  TempDir dir;
  SetFolder(main, dir.path());
  ClickOn(GetDlgItem(main, IDC_RECORD));
  Sleep(800);
  ASSERT_TRUE(StopRecording(main));
  EXPECT_TRUE(ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")).finalized);
  EXPECT_TRUE(CloseNormally(main, program));
}

TEST_F(EndToEndTest, SettingsWindowFromTheFileMenu) {
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  // "File" on the menu bar, just above the client area.
  POINT client{0, 0};
  ClientToScreen(main, &client);
  ClickAt(client.x + 14, client.y - GetSystemMetrics(SM_CYMENU) / 2);
  HWND popup = program.FindWindowOfClass(L"#32768", 5000);
  ASSERT_NE(popup, nullptr);
  ClickMenuItem(popup, 0);  // "General Settings..."
  HWND settings = program.FindWindowOfClass(L"SettingsDlg", 5000);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(TextOf(settings), L"General Settings");
  // A corner chosen in the last list, then "Apply Settings" clicked.
  HWND corners = nullptr;
  for (HWND child = GetWindow(settings, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"COMBOBOX") == 0) corners = child;
  }
  ASSERT_NE(corners, nullptr);
  SendMessageW(corners, CB_SETCURSEL, 3, 0);  // Bottom-Right

  HWND apply = nullptr;
  for (HWND child = GetWindow(settings, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (TextOf(child) == L"Apply Settings") apply = child;
  }
  ASSERT_NE(apply, nullptr);
  ClickOn(apply);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(CloseNormally(main, program));
}

// The local version service offers 9.9.9 with the stand-in installer.
class UpdateOfferTest : public EndToEndTest {
 protected:
  void SetUp() override {
    service_ = PathFromEnvironment(L"QM_VERSION_SERVICE_DIR");
    ASSERT_FALSE(service_.empty());
    CreateDirectoryW((service_ + L"\\files").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(PathFromEnvironment(L"QM_FAKE_INSTALLER").c_str(),
                          (service_ + L"\\files\\Quillomat-Setup.exe").c_str(), FALSE));
    const std::string answer =
        "{\"available\":true,\"version\":\"9.9.9\",\"changelog\":\"Faster start.\","
        "\"download_url\":\"https://updates.quillomat.example/files/Quillomat-Setup.exe\"}";
    HANDLE file = CreateFileW((service_ + L"\\answer.json").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    CloseHandle(file);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    ranMark_ = std::wstring(temp) + L"quillomat-installer-ran.txt";
    DeleteFileW(ranMark_.c_str());
    ClearAcknowledged();
  }
  void TearDown() override {
    DeleteFileW((service_ + L"\\answer.json").c_str());
    DeleteFileW(ranMark_.c_str());
    ClearAcknowledged();
    EndToEndTest::TearDown();
  }
  static void ClearAcknowledged() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, kAcknowledgedValue);
      RegCloseKey(key);
    }
  }
  std::wstring service_, ranMark_;
};

TEST_F(UpdateOfferTest, DeclinedOfferLeavesTheProgramAsItWas) {
  const size_t earlierRequests = ReadFileBytes(service_ + L"\\requests.log").size();
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  HWND offer = FindBox(program, kOfferCaption);
  ASSERT_NE(offer, nullptr);
  EXPECT_NE(BoxText(offer).find(L"9.9.9"), std::wstring::npos) << Narrow(BoxText(offer));
  EXPECT_NE(BoxText(offer).find(L"Faster start."), std::wstring::npos);
  ClickOn(GetDlgItem(offer, IDCANCEL));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(offer); }));
  Sleep(500);
  EXPECT_EQ(FindBox(program, kProgressTitle, 200), nullptr);
  EXPECT_EQ(AcknowledgedVersion(), L"");
  EXPECT_FALSE(FileExists(ranMark_));
  const std::string requests = ReadFileBytes(service_ + L"\\requests.log").substr(earlierRequests);
  EXPECT_EQ(requests.find("/files/Quillomat-Setup.exe"), std::string::npos);
  EXPECT_TRUE(CloseNormally(main, program));
}

TEST_F(UpdateOfferTest, AcceptedOfferDownloadsAndStartsTheInstallerAndEnds) {
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  HWND offer = FindBox(program, kOfferCaption);
  ASSERT_NE(offer, nullptr);
  ClickOn(GetDlgItem(offer, IDOK));
  EXPECT_EQ(program.WaitForExit(30000), 0u);
  EXPECT_TRUE(WaitFor([&] { return FileExists(ranMark_); }, 10000)) << "the installer did not run";
  EXPECT_EQ(AcknowledgedVersion(), L"9.9.9");

  // Acknowledged: the next start offers nothing.
  Program next;
  HWND nextMain = StartAndFindMain(next);
  ASSERT_NE(nextMain, nullptr);
  EXPECT_EQ(FindBox(next, kOfferCaption, 3000), nullptr);
  EXPECT_TRUE(CloseNormally(nextMain, next));
}

// Ending the program with the close box, and with the notification-area
// icon's menu, each during a recording: the file is finished either way.
TEST_F(EndToEndTest, EndingDuringARecordingWithTheCloseBoxAndTheTrayMenu) {
  for (const bool tray : {false, true}) {
    SCOPED_TRACE(tray ? "tray menu Exit" : "close box");
    TempDir dir;
    Program program;
    HWND main = StartAndFindMain(program);
    ASSERT_NE(main, nullptr);
    SetFolder(main, dir.path());
    ClickOn(GetDlgItem(main, IDC_RECORD));
    Sleep(1000);
    if (tray) {
      // Hide the window from the icon's menu, bring it back with a double
      // click on the icon, then Exit from the menu.
      PostMessageW(main, WM_TRAYICON, 0, WM_RBUTTONUP);
      HWND menu = program.FindWindowOfClass(L"#32768", 5000);
      ASSERT_NE(menu, nullptr);
      ClickMenuItem(menu, 1);  // "Hide Window"
      ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
      PostMessageW(main, WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
      ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
      PostMessageW(main, WM_TRAYICON, 0, WM_RBUTTONUP);
      menu = program.FindWindowOfClass(L"#32768", 5000);
      ASSERT_NE(menu, nullptr);
      ClickMenuItem(menu, -1);  // "Exit", the last item
    } else {
      RECT r{};
      GetWindowRect(main, &r);
      ClickAt(r.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2 - 1,
              r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
    }
    EXPECT_EQ(program.WaitForExit(), 0u);
    const Recording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
    EXPECT_TRUE(rec.finalized) << Describe(rec);
    EXPECT_GE(rec.video.size(), 20u);
  }
}

// The program carries its version where Windows shows it, from the same
// place as the version the update check compares.
TEST(ProgramFileTest, VersionResourceMatchesTheRunningVersion) {
  const std::wstring program = ProgramPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(0, 1)));  // 1.0
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);                                  // .0.0
  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    return VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) && value
               ? std::wstring(value)
               : std::wstring();
  };
  EXPECT_EQ(text(L"ProductName"), L"Quillomat");
  EXPECT_EQ(text(L"FileVersion"), kCurrentVersion);
  EXPECT_EQ(text(L"ProductVersion"), kCurrentVersion);
  EXPECT_FALSE(text(L"FileDescription").empty());
}

}  // namespace
