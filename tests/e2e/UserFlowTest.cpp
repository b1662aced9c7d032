// The program's other roads, as a user takes them: the settings and about
// windows, update offers declined, taken, refused and downloading beside
// other windows, the keyboard alone, and ending the program while it records.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/StatusText.h"
#include "app/TrayIcon.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "tests/e2e/EndToEnd.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownloader.h"

namespace {

// The box a program shows with this caption, and its text.
HWND FindBox(const Program& program, const wchar_t* caption, DWORD timeoutMs = 10000) {
  return program.FindWindowOfClass(L"#32770", timeoutMs, caption);
}
std::wstring BoxText(HWND box) { return TextOf(GetDlgItem(box, 0xFFFF)); }


// Clicks the item of an open popup menu `fromTop` items below its top
// (or, negative, above its bottom), ordinary items being this tall.
void ClickMenuItem(HWND popup, int fromTop) {
  Sleep(200);  // shown is not yet tracking the pointer, on a loaded machine
  const RECT r = WindowRect(popup);
  const int item = GetSystemMetrics(SM_CYMENUSIZE);
  const int y = fromTop >= 0 ? r.top + 3 + fromTop * item + item / 2 : r.bottom - 3 + fromTop * item + item / 2;
  ClickAt(r.left + 30, y);
}

// The close box at the right end of a window's caption.
void ClickCloseBox(HWND window) {
  const RECT r = WindowRect(window);
  ClickAt(r.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2 - 1,
          r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
}

// The notification-area icon's menu, opened as a right click on the icon
// does, and one of its items clicked.
void ClickTrayMenuItem(const Program& program, HWND main, int fromTop) {
  PostMessageW(main, WM_TRAYICON, 0, WM_RBUTTONUP);
  HWND menu = program.FindWindowOfClass(L"#32768", 5000);
  ASSERT_NE(menu, nullptr);
  ClickMenuItem(menu, fromTop);
}

// The settings window from the File menu, and the about window from the
// keyboard (Alt+"/", while a button has the keyboard focus after a click on
// it), each alone and inside the other's loop.
TEST_F(EndToEndTest, SettingsAndAboutWindows) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // "File" on the menu bar, just above the client area.
  POINT client{0, 0};
  ClientToScreen(main_, &client);
  ClickAt(client.x + 14, client.y - GetSystemMetrics(SM_CYMENU) / 2);
  HWND popup = program_->FindWindowOfClass(L"#32768", 5000);
  ASSERT_NE(popup, nullptr);
  ClickMenuItem(popup, 1);  // "General Settings...", after "Record Computer Sound"
  HWND settings = program_->FindWindowOfClass(kSettingsClass, 5000);
  ASSERT_NE(settings, nullptr);

  // The sound list: the default microphone, then the devices in the platform's order,
  // among them every source of the sound server (Wine's order is not the
  // server's).
  auto entry = [sound = GetDlgItem(settings, kAudioListId)](const std::wstring& text) {
    return SendMessageW(sound, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(text.c_str()));  // after the first
  };
  EXPECT_EQ(entry(kDefaultMicrophoneEntry), 0);
  const std::string sources = ReadFileBytes(L"Z:" + FromEnvironment(L"QM_SOUND_SERVER_DIR") + L"/sources.txt");
  ASSERT_NE(sources.find('\n'), std::string::npos) << "no sources listed by the sound server";
  for (size_t begin = 0, end; (end = sources.find('\n', begin)) != std::string::npos; begin = end + 1) {
    const std::wstring source(sources.begin() + begin, sources.begin() + end);
    EXPECT_GT(entry(source), 0) << Narrow(source);
  }

  // A corner chosen and closed is not applied (an applied one is kept).
  auto reopen = [&] { return (settings = OpenWindow(*program_, main_, IDM_SETTINGS, kSettingsClass)) != nullptr; };
  auto corner = [&] { return SendDlgItemMessageW(settings, kWebcamListId, CB_GETCURSEL, 0, 0); };
  SendDlgItemMessageW(settings, kWebcamListId, CB_SETCURSEL, 3, 0);
  ClickOn(GetDlgItem(settings, kCloseButtonId));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
  ASSERT_TRUE(reopen());
  EXPECT_EQ(corner(), 0);
  // Asked for again while it is open: the same window, not a second one.
  HWND first = settings;
  ASSERT_TRUE(reopen());
  EXPECT_EQ(settings, first);
  EXPECT_EQ(FindWindowExW(nullptr, FindWindowExW(nullptr, nullptr, kSettingsClass, nullptr), kSettingsClass, nullptr),
            nullptr);
  ASSERT_TRUE(CloseAndWait(settings));

  // Inside each other's loops, closed in any order: an Apply after the outer
  // window has gone is kept, and an inner window that outlives its opener's
  // loop still paints with its own brush.
  ClickOn(GetDlgItem(main_, IDC_MICROPHONE));  // twice: the flag as it was
  ClickOn(GetDlgItem(main_, IDC_MICROPHONE));
  ASSERT_TRUE(WaitForKeyboard(main_));
  Xdotool(L"key alt+slash");
  HWND about = program_->FindWindowOfClass(L"AboutDlg", 5000);
  ASSERT_TRUE(about && reopen());
  ASSERT_TRUE(CloseAndWait(about));
  SendDlgItemMessageW(settings, kWebcamListId, CB_SETCURSEL, 2, 0);
  ClickOn(GetDlgItem(settings, kApplyButtonId));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
  ASSERT_TRUE(reopen());
  EXPECT_EQ(corner(), 2);
  about = OpenWindow(*program_, main_, IDM_ABOUT, L"AboutDlg");
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(CloseAndWait(settings));
  // Made taller from outside: the new strip is painted now, with the brush.
  const RECT r = WindowRect(about);
  RECT area{};
  SetWindowPos(about, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(500);
  GetClientRect(about, &area);
  POINT strip{4, area.bottom - 4};
  ClientToScreen(about, &strip);
  EXPECT_EQ(ScreenPixels({strip.x, strip.y, strip.x + 1, strip.y + 1})[0], 0x2d2d30u);
  ASSERT_TRUE(CloseAndWait(about));
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// The local version service offers 9.9.9 with the stand-in installer, as
// the file that the test authority signed for the test publisher, or in
// one of the forms that publisher never gave out.
class UpdateOfferTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    Forget();
  }
  void TearDown() override {
    ClearVersionAnswer();
    Forget();
    EndToEndTest::TearDown();
  }
  // No installer has run, and no version is recorded.
  static void Forget() {
    DeleteFileW(InstallerRanMark().c_str());
    ClearAcknowledgedVersion();
  }
  // `path`: how the service serves which file (KIND/NAME).
  static void Offer(const std::wstring& path) {
    SetVersionAnswer(
        "{\"available\":true,\"version\":\"9.9.9\",\"changelog\":\"Faster start.\","
        "\"download_url\":\"https://updates.quillomat.example/" + Narrow(path) + "\"}");
  }
  // The offer accepted; false when none came.
  static bool Accept(const Program& program) {
    HWND offer = FindBox(program, kOfferCaption);
    if (offer) ClickOn(GetDlgItem(offer, IDOK));
    return offer != nullptr;
  }
  // The offer accepted, and a download that takes its time under way: its
  // progress window, or null.
  static HWND AcceptSlowDownload(const Program& program) {
    return Accept(program) ? FindBox(program, kProgressTitle, 5000) : nullptr;
  }
  // The installer started and the version recorded, the program ended; and
  // both undone for what follows.
  static void ExpectInstalled(const Program& program) {
    EXPECT_EQ(program.WaitForExit(20000), 0u);
    EXPECT_TRUE(WaitFor([] { return FileExists(InstallerRanMark()); }, 10000));
    EXPECT_EQ(AcknowledgedVersion(), L"9.9.9");
    Forget();
  }
  // The program signed by the test publisher.
  static std::wstring SignedProgram() { return VersionServiceDir() + L"\\signed\\Quillomat.exe"; }
  static int DownloadFolders() { return CountMatching(TempPath(), L"Quillomat-Update-*"); }
};

// An offer declined leaves the program as it was, and comes again at the next
// start. Taken, the signed program starts its publisher's real installer of
// the newer version and ends; clicked through, the installer puts the newer
// program in place for all users.
TEST_F(UpdateOfferTest, DeclinedOfferComesAgainAndATakenOneInstallsTheNewerVersion) {
  Offer(L"files/Quillomat-Setup-9.9.9.exe");
  const size_t earlierRequests = VersionServiceRequests().size();
  ASSERT_NO_FATAL_FAILURE(Start(SignedProgram()));
  HWND offer = FindBox(*program_, kOfferCaption);
  ASSERT_NE(offer, nullptr);
  EXPECT_NE(BoxText(offer).find(L"9.9.9"), std::wstring::npos) << Narrow(BoxText(offer));
  EXPECT_NE(BoxText(offer).find(L"Faster start."), std::wstring::npos);
  ClickOn(GetDlgItem(offer, IDCANCEL));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(offer); }));
  // Offered once per start: the same message from anyone else offers nothing.
  PostMessageW(main_, WM_UPDATE_AVAILABLE, 0, 0);
  Sleep(500);
  EXPECT_EQ(FindBox(*program_, kOfferCaption, 200), nullptr);
  EXPECT_EQ(FindBox(*program_, kProgressTitle, 200), nullptr);
  EXPECT_EQ(AcknowledgedVersion(), L"");
  EXPECT_EQ(VersionServiceRequests().substr(earlierRequests).find("/files/"), std::string::npos);
  EXPECT_TRUE(CloseNormally(main_, *program_));

  ASSERT_NO_FATAL_FAILURE(Start(SignedProgram()));
  ASSERT_TRUE(Accept(*program_));
  EXPECT_EQ(program_->WaitForExit(30000), 0u);
  EXPECT_EQ(AcknowledgedVersion(), L"9.9.9");

  // Titled after its page: "Quillomat 9.9.9 Setup: Installation Folder".
  HWND setup = WindowOfAnyProgram(L"#32770", L"Quillomat 9.9.9 Setup", 20000);
  ASSERT_NE(setup, nullptr);
  ClickOn(GetDlgItem(setup, IDOK));  // "Install"
  ASSERT_TRUE(WaitFor([&] { return TextOf(GetDlgItem(setup, IDOK)).find(L"Close") != std::wstring::npos; }, 30000));
  ClickOn(GetDlgItem(setup, IDOK));
  const std::wstring folder = L"C:\\Program Files\\Quillomat";
  ASSERT_NO_FATAL_FAILURE(Start(folder + L"\\Quillomat.exe"));
  bool showsVersion = false;
  for (HWND child = GetWindow(main_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    showsVersion = showsVersion || TextOf(child).find(L"Version 9.9.9") != std::wstring::npos;
  }
  EXPECT_TRUE(showsVersion);
  EXPECT_TRUE(CloseNormally(main_, *program_));
  // Listed by Windows and in the Start menu; removed again, it leaves nothing.
  const wchar_t uninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillomat";
  const std::wstring menu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillomat";
  auto listed = [&] {
    return RegGetValueW(HKEY_LOCAL_MACHINE, uninstallKey, L"DisplayVersion", RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
  };
  EXPECT_TRUE(listed());
  EXPECT_TRUE(FileExists(menu + L"\\Quillomat.lnk"));
  ShellExecuteW(nullptr, nullptr, (folder + L"\\Uninstall.exe").c_str(), L"/S", nullptr, SW_HIDE);
  // The folder goes first, the registry after it.
  EXPECT_TRUE(WaitFor([&] { return !FileExists(folder) && !listed() && AcknowledgedVersion().empty(); }, 30000));
  EXPECT_FALSE(FileExists(menu));
}

// The signed program starts an installer its publisher signed with a renewed
// key; any other, or its publisher's older one offered as newer, is refused,
// removed and not recorded, and the program goes on. The last offer goes to a
// copy renamed while it runs, an unsigned file put in its place: it cannot
// read its own signature then, and is still a signed program.
TEST_F(UpdateOfferTest, SignedProgramStartsOnlyItsPublishersInstallerOfTheOfferedVersion) {
  TempDir copies;
  const std::wstring copy = copies.File(L"Quillomat.exe");
  ASSERT_TRUE(CopyFileW(SignedProgram().c_str(), copy.c_str(), FALSE));
  const wchar_t* const files[] = {L"setup-renewed.exe", L"setup-unsigned.exe", L"setup-tampered.exe",
                                  L"setup-other.exe",   L"setup-otherca.exe",  L"setup-old.exe", L"setup-unsigned.exe"};
  for (const wchar_t* const& file : files) {
    SCOPED_TRACE(Narrow(file));
    const bool starts = file == std::wstring(L"setup-renewed.exe"), renamed = &file == std::end(files) - 1;
    Offer(std::wstring(L"files/") + file);
    const int folders = DownloadFolders();  // an installer that ran keeps its own
    ASSERT_NO_FATAL_FAILURE(Start(renamed ? copy : SignedProgram()));
    ASSERT_TRUE(!renamed || (MoveFileW(copy.c_str(), copies.File(L"Renamed.exe").c_str()) &&
                             CopyFileW(ProgramPath().c_str(), copy.c_str(), TRUE)));
    ASSERT_TRUE(Accept(*program_));
    if (starts) {
      ExpectInstalled(*program_);
      continue;
    }
    HWND failed = FindBox(*program_, kUpdateFailedCaption, 20000);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(BoxText(failed), kNotVerifiedText);
    EXPECT_EQ(DownloadFolders(), folders);
    ClickOn(GetDlgItem(failed, IDOK));
    EXPECT_EQ(AcknowledgedVersion(), L"");
    EXPECT_FALSE(FileExists(InstallerRanMark()));
    EXPECT_TRUE(CloseNormally(main_, *program_));
  }
}

// A download (about three seconds) beside windows whose loops run above or
// below its own: a cancel, its end and the program's end each do what they
// would do without them. Beside a recording, its end waits for the stop.
TEST_F(UpdateOfferTest, DownloadBesideTheProgramsOtherWindows) {
  Offer(L"crawl/setup-signed.exe");
  {
    SCOPED_TRACE("About opened during the download, then the download's close box");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND progress = AcceptSlowDownload(*program_);
    ASSERT_NE(progress, nullptr);
    HWND about = OpenWindow(*program_, main_, IDM_ABOUT, L"AboutDlg");
    ASSERT_NE(about, nullptr);
    ClickCloseBox(progress);  // About covers the middle of the progress window, not its close box
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(progress); }, 1000));
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));  // not spinning
    PostMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about) && !IsWindow(progress); }, 2000));
    Sleep(4000);  // as long as the download would have taken
    EXPECT_FALSE(FileExists(InstallerRanMark()));
    EXPECT_EQ(AcknowledgedVersion(), L"");
    EXPECT_EQ(FindBox(*program_, kUpdateFailedCaption, 200), nullptr);
    EXPECT_TRUE(CloseNormally(main_, *program_));
  }
  {
    SCOPED_TRACE("the download ending while the settings window is open");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND progress = AcceptSlowDownload(*program_);
    ASSERT_NE(progress, nullptr);
    HWND settings = OpenWindow(*program_, main_, IDM_SETTINGS, kSettingsClass);
    ASSERT_NE(settings, nullptr);
    HWND bar = FindWindowExW(progress, nullptr, PROGRESS_CLASSW, nullptr);  // at its end: all of it
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) == SendMessageW(bar, PBM_GETRANGE, FALSE, 0); },
                        15000));
    // The installer starts once the settings window, whose loop runs above
    // the download's, is closed.
    Sleep(1000);
    EXPECT_FALSE(FileExists(InstallerRanMark()));
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ExpectInstalled(*program_);
  }
  {
    SCOPED_TRACE("the offer taken inside About's loop, About closed during the download");
    const std::wstring hang = VersionServiceDir() + L"\\hang";
    ASSERT_TRUE(WriteFileBytes(hang, ""));
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND about = OpenWindow(*program_, main_, IDM_ABOUT, L"AboutDlg");
    DeleteFileW(hang.c_str());
    ASSERT_NE(about, nullptr);
    HWND progress = AcceptSlowDownload(*program_);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(CloseAndWait(about));
    EXPECT_TRUE(IsWindowVisible(progress));
    ExpectInstalled(*program_);
  }
  for (const bool stopped : {true, false}) {
    SCOPED_TRACE(stopped ? "the download ending during a recording, which goes on until the user stops it"
                         : "the download ending during a recording, and the program closed instead of stopped");
    TempDir dir, temp;
    const int folders = DownloadFolders();
    // The program that is stopped reaches its temporary folder through a link,
    // re-pointed before the stop: the installer started is the one verified.
    const std::wstring link = temp.File(L"link");
    OnHost("cd " + HostPath(temp.path()) + " && mkdir real elsewhere && ln -s real link");
    {
      ScopedEnvironment env({{L"TMP", stopped ? link : TempPath()}});
      ASSERT_NO_FATAL_FAILURE(Start());
    }
    SetFolder(main_, dir.path());
    ASSERT_NE(FindBox(*program_, kOfferCaption), nullptr);
    // Recording and paused, as the buttons would under the offer.
    PostMessageW(main_, WM_COMMAND, IDC_RECORD, 0);
    PostMessageW(main_, WM_COMMAND, IDC_PAUSE, 0);
    ASSERT_TRUE(WaitForTextEqual(GetDlgItem(main_, IDC_PAUSE), L"Resume (Ctrl+Alt+Shift+F10)"));
    ASSERT_NE(AcceptSlowDownload(*program_), nullptr);
    auto waits = [](const std::wstring& text) { return IsRecordingStatus(text, kStatusUpdateReady); };
    EXPECT_TRUE(WaitForText(StatusLine(main_), waits, 15000)) << Narrow(TextOf(StatusLine(main_)));
    PostMessageW(main_, WM_COMMAND, IDC_PAUSE, 0);  // resumed: the duration goes on, and so does the word of the update
    Sleep(1500);
    EXPECT_TRUE(waits(TextOf(StatusLine(main_)))) << Narrow(TextOf(StatusLine(main_)));
    EXPECT_FALSE(FileExists(InstallerRanMark()));
    if (!stopped) {
      ASSERT_TRUE(CloseNormally(main_, *program_));
      EXPECT_FALSE(FileExists(InstallerRanMark()));
      EXPECT_EQ(DownloadFolders(), folders);  // the installer that waited is gone
      continue;
    }
    OnHost("ln -sfn elsewhere " + HostPath(link));
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    EXPECT_EQ(program_->WaitForExit(20000), 0u);
    EXPECT_TRUE(WaitFor([&] { return FileExists(link + L"\\quillomat-installer-ran.txt"); }, 10000));  // in its TMP
    EXPECT_EQ(AcknowledgedVersion(), L"9.9.9");
    Forget();
    EXPECT_EQ(TopBoxes(NewestFile(dir.path(), L"Quillomat_*.mp4")), "type:'moov' parent:'root'\n");
  }
  {
    SCOPED_TRACE("the tray's Exit during the download");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NE(AcceptSlowDownload(*program_), nullptr);
    ClickTrayMenuItem(*program_, main_, -1);  // "Exit", the last item
    EXPECT_EQ(program_->WaitForExit(10000), 0u);
    EXPECT_FALSE(FileExists(InstallerRanMark()));
    EXPECT_EQ(AcknowledgedVersion(), L"");
  }
}

// The keyboard alone. The global hotkeys record, pause, resume and stop
// from another program's window and with the window away in the
// notification area; Tab and Space do it in the window; the buttons' names
// follow. A combination another program holds beforehand is said so in the
// name, and the rest works.
TEST_F(EndToEndTest, RecordingFromTheKeyboard) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(Start());
  SetFolder(main_, dir.path());
  HWND record = GetDlgItem(main_, IDC_RECORD), pause = GetDlgItem(main_, IDC_PAUSE);
  {
    LiveScene scene(600, 400);
    ClickAt(700, 500);  // the keyboard is the scene's
    Xdotool(L"key ctrl+alt+shift+F9");
    ASSERT_TRUE(WaitForText(StatusLine(main_), IsRecordingStatus)) << Narrow(TextOf(StatusLine(main_)));
    EXPECT_EQ(TextOf(record), L"Stop (Ctrl+Alt+Shift+F9)");
    Sleep(700);
    Xdotool(L"key ctrl+alt+shift+F10");
    EXPECT_TRUE(WaitForTextEqual(pause, L"Resume (Ctrl+Alt+Shift+F10)"));
    Sleep(1500);
    PostMessageW(main_, WM_COMMAND, IDM_TRAY_HIDE, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); }));
    Xdotool(L"key ctrl+alt+shift+F10");
    EXPECT_TRUE(WaitForTextEqual(pause, L"Pause (Ctrl+Alt+Shift+F10)"));
    Sleep(700);
    Xdotool(L"key ctrl+alt+shift+F9");
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), kStatusReady, 15000));
  }
  // The names follow the engine's state, so the keys reached the engine.
  EXPECT_TRUE(ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")).finalized);

  // Tab to the record button, Space; Tab to pause, Space; back, Enter.
  PostMessageW(main_, WM_COMMAND, IDM_TRAY_SHOW, 0);
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }));
  const RECT frame = WindowRect(main_);
  ClickAt(frame.left + 60, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 2);
  ASSERT_TRUE(WaitForKeyboard(main_));
  Xdotool(L"key Tab space");
  EXPECT_TRUE(WaitForText(StatusLine(main_), IsRecordingStatus)) << Narrow(TextOf(StatusLine(main_)));
  Xdotool(L"key Tab");
  Sleep(200);
  SaveScreenshot(frame, L"keyboard-focus-on-pause");
  Xdotool(L"key space");
  EXPECT_TRUE(WaitForTextEqual(pause, L"Resume (Ctrl+Alt+Shift+F10)"));
  Xdotool(L"key shift+Tab Return");
  EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), kStatusReady, 15000));
  EXPECT_TRUE(CloseNormally(main_, *program_));

  // Another program holds the record combination.
  ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_NOREPEAT, VK_F9));
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(TextOf(GetDlgItem(main_, IDC_RECORD)), L"Record (Ctrl+Alt+Shift+F9 is taken by another program)");
  SetFolder(main_, dir.path());
  EXPECT_TRUE(StartRecording(main_));
  Xdotool(L"key ctrl+alt+shift+F10");
  EXPECT_TRUE(WaitForTextEqual(GetDlgItem(main_, IDC_PAUSE), L"Resume (Ctrl+Alt+Shift+F10)"));
  EXPECT_TRUE(StopRecording(main_));
  EXPECT_TRUE(CloseNormally(main_, *program_));
  UnregisterHotKey(nullptr, 7);
}

// Ending the program during a recording: with the close box; with the
// notification-area icon's menu inside the about window's loop; by Windows
// ending the session (asked first, the program asks it to wait; told that it
// ends all the same, it finishes the file before it goes). The file is
// finished every way, and nothing of the program stays.
TEST_F(EndToEndTest, EndingDuringARecording) {
  for (const std::string way : {"close box", "tray menu Exit", "session ending"}) {
    SCOPED_TRACE(way);
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(Start());
    SetFolder(main_, dir.path());
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    Sleep(1000);
    auto finished = [&] { return ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")); };
    if (way == "close box") {
      ClickCloseBox(main_);
    } else if (way == "tray menu Exit") {
      // Minimised, or hidden from the icon's menu, the window waits in the
      // notification area, and a double click on the icon brings it back.
      for (const bool minimise : {true, false}) {
        if (minimise) PostMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        else ClickTrayMenuItem(*program_, main_, 1);  // "Hide Window"
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); }));
        PostMessageW(main_, WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }));
      }
      // That loop ends with its window, and the main loop then ends too.
      ASSERT_NE(OpenWindow(*program_, main_, IDM_ABOUT, L"AboutDlg"), nullptr);
      ClickTrayMenuItem(*program_, main_, -1);  // "Exit", the last item
    } else {
      DWORD_PTR answer = 1;
      ASSERT_TRUE(SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
      EXPECT_EQ(answer, 0u);
      ASSERT_TRUE(SendMessageTimeoutW(main_, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &answer));
      EXPECT_TRUE(finished().finalized);
      // Nothing left to wait for; the end of the session then ends the program.
      ASSERT_TRUE(SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
      EXPECT_EQ(answer, 1u);
      program_->Kill();
      continue;
    }
    EXPECT_EQ(program_->WaitForExit(), 0u);
    const WrittenRecording rec = finished();
    EXPECT_TRUE(rec.finalized) << Describe(rec);
    EXPECT_GE(rec.video.size(), 20u);
  }
}

// An Explorer window on the folder, closed again; false when none came.
bool ExplorerShows(const std::wstring& folderName) {
  HWND explorer = WindowOfAnyProgram(L"ExplorerWClass", folderName);
  return explorer && CloseAndWait(explorer);
}

// "Open Recordings Folder" opens the folder from either menu, made first
// when it is not there yet; after Stop the notification-area icon says the
// file is saved, and a click on that shows it in its folder.
TEST_F(EndToEndTest, SavedRecordingIsOneClickAway) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  const std::wstring folder = dir.File(L"not yet");
  SetFolder(main_, folder);
  for (const int command : {IDM_OPEN_FOLDER, IDM_TRAY_OPEN_FOLDER}) {  // as each menu delivers it
    PostMessageW(main_, WM_COMMAND, command, 0);
    EXPECT_TRUE(ExplorerShows(L"not yet")) << command;
    EXPECT_TRUE(FileExists(folder));
  }
  ASSERT_TRUE(StartRecording(main_));
  Sleep(1000);
  ASSERT_TRUE(StopRecording(main_));
  const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
  ASSERT_NE(WindowOfAnyProgram(L"tooltips_class32", file.substr(file.find_last_of(L'\\') + 1) + L"\n"), nullptr);
  SaveScreenshot({0, 0, 400, 200}, L"recording-saved");
  PostMessageW(main_, WM_TRAYICON, 0, NIN_BALLOONUSERCLICK);  // as the shell delivers the click
  EXPECT_TRUE(ExplorerShows(L"not yet"));
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace
