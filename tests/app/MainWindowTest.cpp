// The main window as built: controls, colours, menus, pictures, about window.


#include "app/AboutDialog.h"
#include "res/resource.h"
#include "tests/app/AppFixture.h"

namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

TEST_F(AppTest, WindowAndControlsInTheirOrder) {
  RECT outer;
  GetWindowRect(main_, &outer);
  EXPECT_EQ(outer.right - outer.left, 520);
  EXPECT_EQ(outer.bottom - outer.top, 310);
  const LONG_PTR style = GetWindowLongPtrW(main_, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(Text(main_), L"quillomat");
  EXPECT_EQ(ClassOf(main_), L"QUILLOMAT");

  // The controls in their order: class, id and text (where fixed). Their
  // places are where the end-to-end tests click them.
  struct Expected {
    const wchar_t* className;
    const wchar_t* text;  // null: not compared
    int id;
  };
  const Expected controls[] = {
      {L"Static", L"Quillomat", 0},          {L"Button", L"", IDC_RECORD},
      {L"Button", L"", IDC_PAUSE},           {L"Button", L"", IDC_FULLSCREEN},
      {L"Button", L"", IDC_REGION},          {L"Button", L"", IDC_MICROPHONE},
      {L"Button", L"", IDC_WEBCAM},          {L"Static", L"Output Folder:", 0},
      {L"Edit", nullptr, IDC_FOLDER},        {L"Button", L"Browse...", IDC_BROWSE},
      {L"Static", L"Ready to Record", IDC_STATUS}, {L"Static", nullptr, 0},
  };
  HWND child = GetWindow(main_, GW_CHILD);
  for (const Expected& e : controls) {
    ASSERT_NE(child, nullptr);
    SCOPED_TRACE(testing::Message() << "control id " << e.id);
    EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), e.className), 0) << ClassOf(child);
    if (e.text) {
      EXPECT_EQ(Text(child), e.text);
    }
    EXPECT_EQ(GetDlgCtrlID(child), e.id);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr);  // nothing more
  // The footer names the vendor, the version and the year.
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::wstring footer = Text(GetWindow(Control(IDC_STATUS), GW_HWNDNEXT));
  EXPECT_NE(footer.find(L"quillomat.example"), std::wstring::npos) << footer;
  EXPECT_NE(footer.find(L"1.0.0"), std::wstring::npos);
  EXPECT_NE(footer.find(std::to_wstring(now.wYear)), std::wstring::npos);
  // The folder field shows the default folder: Pictures + \Quillomat, made at start.
  EXPECT_GT(g_mainWindow.outputFolder.size(), 10u);
  EXPECT_EQ(g_mainWindow.outputFolder.substr(g_mainWindow.outputFolder.size() - 10), L"\\Quillomat");
  EXPECT_NE(GetFileAttributesW(g_mainWindow.outputFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(AppTest, BrowseCancelledKeepsTheFolder) {
  const std::wstring before = Text(Control(IDC_FOLDER));
  const std::wstring folderBefore = g_mainWindow.outputFolder;
  static bool browserShown;
  browserShown = false;
  static int tries;
  tries = 0;
  SetTimer(nullptr, 0, 250, [](HWND, UINT, UINT_PTR id, DWORD) {
    // The folder browser: a visible dialog of this thread.
    HWND browser = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
          wchar_t cls[16] = {};
          GetClassNameW(window, cls, 16);
          if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
          *reinterpret_cast<HWND*>(found) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&browser));
    if (browser) {
      browserShown = true;
      PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    }
    if (browser || ++tries > 40) KillTimer(nullptr, id);
  });
  Command(IDC_BROWSE);
  EXPECT_TRUE(browserShown);
  EXPECT_EQ(Text(Control(IDC_FOLDER)), before);
  EXPECT_EQ(g_mainWindow.outputFolder, folderBefore);
}

TEST_F(AppTest, DarkBackgroundAndStatusColourOnTheScreen) {
  PumpMessages(200);
  unique_screen_dc screen(GetDC(nullptr));
  POINT probe{10, 240};  // where nothing is drawn
  ClientToScreen(main_, &probe);
  EXPECT_EQ(GetPixel(screen.get(), probe.x, probe.y), RGB(45, 45, 48));
  // The status line's text is drawn in its own colour on that background.
  RECT status;
  GetWindowRect(Control(IDC_STATUS), &status);
  bool statusColour = false;
  for (LONG x = status.left; x < status.right && !statusColour; ++x) {
    for (LONG y = status.top; y < status.bottom && !statusColour; ++y) {
      statusColour = GetPixel(screen.get(), x, y) == RGB(79, 70, 229);
    }
  }
  EXPECT_TRUE(statusColour);
}

std::wstring MenuText(HMENU menu, UINT position) {
  wchar_t text[64] = {};
  GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
  return text;
}

TEST_F(AppTest, MenusReadAsExpected) {
  HMENU bar = GetMenu(main_);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_EQ(MenuText(bar, 0), L"&File");
  EXPECT_EQ(MenuText(bar, 1), L"&Help");
  HMENU file = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(file), 3);
  EXPECT_EQ(MenuText(file, 0), L"General Settings...");
  EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_SETTINGS));
  EXPECT_EQ(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(MenuText(file, 2), L"E&xit");
  EXPECT_EQ(GetMenuItemID(file, 2), static_cast<UINT>(IDM_EXIT));
  HMENU help = GetSubMenu(bar, 1);
  ASSERT_EQ(GetMenuItemCount(help), 1);
  EXPECT_EQ(MenuText(help, 0), L"&About ...");

  HMENU tray = g_mainWindow.tray->menu();
  ASSERT_EQ(GetMenuItemCount(tray), 6);
  EXPECT_EQ(MenuText(tray, 0), L"Show Window");
  EXPECT_EQ(MenuText(tray, 1), L"Hide Window");
  EXPECT_EQ(MenuText(tray, 3), L"Duration: 00:00:00");
  EXPECT_TRUE(GetMenuState(tray, 3, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(MenuText(tray, 5), L"Exit");
}

HBITMAP ImageOf(HWND button) { return reinterpret_cast<HBITMAP>(SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0)); }

TEST_F(AppTest, StartUpPictures) {
  const MainWindow& m = g_mainWindow;
  for (const unique_hbitmap& picture : m.pictures) EXPECT_TRUE(picture);
  EXPECT_EQ(ImageOf(Control(IDC_RECORD)), m.pictures[kPictureRecord].get());
  EXPECT_EQ(ImageOf(Control(IDC_PAUSE)), m.pictures[kPicturePauseDimmed].get());
  EXPECT_EQ(ImageOf(Control(IDC_FULLSCREEN)), m.pictures[kPictureFullScreen].get());
  EXPECT_EQ(ImageOf(Control(IDC_REGION)), m.pictures[kPictureRegion].get());
  EXPECT_EQ(ImageOf(Control(IDC_MICROPHONE)), m.pictures[kPictureMicOn].get());
  EXPECT_EQ(ImageOf(Control(IDC_WEBCAM)), m.pictures[kPictureWebcamOff].get());
}

TEST_F(AppTest, AboutWindowShowsItsLinesAndEndsItsOwnLoop) {
  static std::vector<std::wstring> lines;
  static RECT aboutRect;
  static DWORD aboutStyle, aboutExStyle;
  lines.clear();
  // Runs inside the about window's nested loop: read it, then close it.
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND about = FindWindowW(L"AboutDlg", L"About Quillomat");
    if (!about) return;
    GetWindowRect(about, &aboutRect);
    aboutStyle = static_cast<DWORD>(GetWindowLongPtrW(about, GWL_STYLE));
    aboutExStyle = static_cast<DWORD>(GetWindowLongPtrW(about, GWL_EXSTYLE));
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t text[128] = {};
      GetWindowTextW(c, text, 128);
      lines.push_back(text);
    }
    SendMessageW(about, WM_CLOSE, 0, 0);
  });
  Command(IDM_ABOUT);  // returns once the window is closed
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], L"Quillomat");
  EXPECT_EQ(lines[1], L"Version 1.0.0");
  EXPECT_EQ(lines[2], L"Screen Recorder for Windows");
  EXPECT_EQ(lines[3], L"quillomat.example");
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_NE(lines[4].find(std::to_wstring(now.wYear)), std::wstring::npos);
  EXPECT_EQ(aboutRect.right - aboutRect.left, 340);
  EXPECT_EQ(aboutRect.bottom - aboutRect.top, 180);
  EXPECT_EQ(aboutStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU));
  EXPECT_FALSE(aboutStyle & (WS_THICKFRAME | WS_MINIMIZEBOX));
  EXPECT_TRUE(aboutExStyle & WS_EX_TOPMOST);
  RECT owner;
  GetWindowRect(main_, &owner);
  EXPECT_EQ(aboutRect.left, owner.left + (owner.right - owner.left - 340) / 2);
  EXPECT_EQ(aboutRect.top, owner.top + (owner.bottom - owner.top - 180) / 2);
  // The main window lives on.
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_EQ(g_mainWindow.window, main_);
}

TEST_F(AppTest, MinimisingHidesAndTheTrayBringsItBack) {
  ShowWindow(main_, SW_MINIMIZE);
  PumpMessages(100);
  EXPECT_FALSE(IsWindowVisible(main_));
  SendMessageW(main_, WM_TRAYICON, 1, WM_LBUTTONDBLCLK);
  PumpMessages(100);
  EXPECT_TRUE(IsWindowVisible(main_));
  Command(IDM_TRAY_HIDE);
  EXPECT_FALSE(IsWindowVisible(main_));
  Command(IDM_TRAY_SHOW);
  EXPECT_TRUE(IsWindowVisible(main_));
}

}  // namespace
