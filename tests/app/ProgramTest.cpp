// The unmodified program, started as a user starts it: single instance,
// ending during a recording, exit codes, and a screenshot of its window.
// It runs beside the writer stand-in DLL, whose record shows what it wrote.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include <vector>

#include "res/resource.h"
#include "update/Version.h"
#include "tests/support/ProgramDriver.h"
#include "tests/support/ScreenFixtures.h"
#include "tests/support/Screenshot.h"

namespace {

TEST(ProgramTest, SecondCopyBringsTheFirstBackAndSaysSo) {
  Program first;
  ASSERT_TRUE(first.started());
  HWND main = first.FindWindowOfClass(L"QUILLOMAT");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(TextOf(main), L"quillomat");
  PostMessageW(main, WM_COMMAND, IDM_TRAY_HIDE, 0);  // hidden in the notification area
  for (int i = 0; i < 40 && IsWindowVisible(main); ++i) PumpMessages(50);
  ASSERT_FALSE(IsWindowVisible(main));

  Program second;
  ASSERT_TRUE(second.started());
  HWND box = second.FindWindowOfClass(L"#32770");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(box), L"Quillomat");
  wchar_t text[512] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  EXPECT_STREQ(text, L"Quillomat is already running.\nCheck the system tray (bottom-right corner).");
  // Found by the name "Quillomat" although titled "quillomat", and restored.
  EXPECT_TRUE(IsWindowVisible(main));
  // The second copy made no window of its own class.
  EXPECT_EQ(second.FindWindowOfClass(L"QUILLOMAT", 200), nullptr);

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(second.WaitForExit(), 0u);
  EXPECT_TRUE(IsWindow(main));  // the first copy runs on

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(), 0u);
}

// Each way out during a recording leaves a finished file and exit code 0.
TEST(ProgramTest, EndingDuringARecordingFinishesTheFile) {
  struct Way {
    const char* name;
    UINT message;
    WPARAM wParam;
  } ways[] = {{"close box", WM_CLOSE, 0}, {"File Exit", WM_COMMAND, IDM_EXIT}, {"tray Exit", WM_COMMAND, IDM_TRAY_EXIT}};
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    TempDir dir;
    Program program;
    ASSERT_TRUE(program.started());
    HWND main = program.FindWindowOfClass(L"QUILLOMAT");
    ASSERT_NE(main, nullptr);
    SendMessageW(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(dir.path().c_str()));
    wchar_t shown[MAX_PATH] = {};
    SendMessageW(GetDlgItem(main, IDC_FOLDER), WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(shown));
    ASSERT_EQ(dir.path(), shown);
    PostMessageW(main, WM_COMMAND, IDC_RECORD, 0);
    PumpMessages(800);
    wchar_t status[64] = {};
    GetWindowTextW(GetDlgItem(main, IDC_STATUS), status, 64);
    EXPECT_EQ(std::wstring(status).rfind(L"Recording: ", 0), 0u) << std::string(status, status + wcslen(status));
    PostMessageW(main, way.message, way.wParam, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);

    // The journal of the recording: samples, then Finalize last.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(dir.File(L"Quillomat_*.mp4.standin.jsonl").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    const std::string journal = ReadFileBytes(dir.File(found.cFileName));
    EXPECT_NE(journal.find("\"step\":\"WriteSample\""), std::string::npos);
    const size_t last = journal.rfind("{\"step\":");
    const std::string finalize = "{\"step\":\"Finalize\",";
    EXPECT_EQ(journal.compare(last, finalize.size(), finalize), 0) << journal.substr(last);
  }
}

// Saves what the main window looks like at start-up, for people to look at.
TEST(ProgramTest, ScreenshotOfTheMainWindow) {
  Program program;
  ASSERT_TRUE(program.started());
  HWND main = program.FindWindowOfClass(L"QUILLOMAT");
  ASSERT_NE(main, nullptr);
  PumpMessages(700);
  // The window's background colour shows where nothing is drawn.
  POINT probe{10, 240};
  ClientToScreen(main, &probe);
  unique_screen_dc screen(GetDC(nullptr));
  EXPECT_EQ(GetPixel(screen.get(), probe.x, probe.y), RGB(45, 45, 48));
  RECT rect;
  GetWindowRect(main, &rect);
  EXPECT_TRUE(SaveScreenshot(rect, L"main-window"));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
}

}  // namespace

namespace {

// The program carries its version where Windows shows it, from the same
// place as the version the update check compares.
TEST(ProgramTest, VersionResourceMatchesTheRunningVersion) {
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
