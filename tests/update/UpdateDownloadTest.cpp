// The download's failure modes, in-process against the local service, with
// this (unsigned) test program as the running program. The signed program
// and the accepted offer are met end to end.
#include "update/UpdateDownloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/ScreenFixtures.h"
#include "update/UpdateCheck.h"
#include "update/UpdateText.h"

namespace {

enum class During { Nothing, ClickCancel, PressEscape, Quit };

// Plays the user on another thread: presses OK on every box of the update
// and, once the progress window is up, cancels or closes the program.
class User {
 public:
  struct Box {
    std::wstring caption, text;
  };
  explicit User(During during) : during_(during), uiThread_(GetCurrentThreadId()), thread_([this] { Run(); }) {}
  ~User() { Finish(); }
  // Stops watching; what was seen may be read from then on.
  void Finish() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<Box> boxes;
  bool sawProgress = false;

 private:
  void Run() {
    HWND last = nullptr;
    while (!done_) {
      Sleep(30);
      // Every box that comes up is answered, also one no test expects (the
      // platform's own, about a broken installer), so that a fault fails the
      // test rather than hanging it.
      for (HWND box : TopLevelWindows()) {
        wchar_t kind[16] = {};
        if (!GetClassNameW(box, kind, 16) || wcscmp(kind, L"#32770") != 0) continue;
        wchar_t caption[128] = {}, text[512] = {};
        GetWindowTextW(box, caption, 128);
        if (!IsWindowVisible(box) || box == last) continue;
        if (wcscmp(caption, kProgressTitle) == 0) {
          if (!std::exchange(sawProgress, true)) Interrupt(box);
          continue;
        }
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        boxes.push_back({caption, text});
        last = box;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    }
  }
  void Interrupt(HWND progress) {
    Sleep(300);  // placed over its owner, and the download under way
    RECT r{};
    GetWindowRect(GetDlgItem(progress, IDCANCEL), &r);
    if (during_ == During::ClickCancel) {
      Xdotool(L"mousemove " + std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2) +
              L" sleep 0.1 click 1");
    }
    if (during_ == During::PressEscape) Xdotool(L"key Escape");
    if (during_ == During::Quit) PostThreadMessageW(uiThread_, WM_QUIT, 0, 0);
  }
  During during_;
  DWORD uiThread_;
  std::atomic<bool> done_{false};
  std::thread thread_;  // last: it starts at once and reads all the rest
};

// Each failure says what went wrong in its box, records nothing, starts
// nothing and leaves no folder behind. A file planted where an installer
// used to be downloaded is never touched.
TEST(UpdateDownloadTest, EveryWayADownloadEnds) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 520, 310, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ServeFile(L"half.bin", std::string(300000, 'q'));
  ServeFile(L"slow.bin", std::string(400000, 'q'));  // about five seconds at the service's pace
  // Larger than the 64 KB the tiny folder holds.
  ServeFile(L"setup.exe", ReadFileBytes(FromEnvironment(L"QM_FAKE_INSTALLER")));
  TempDir temp;
  const std::wstring planted = temp.path() + L"\\" + kInstallerName;
  ASSERT_TRUE(WriteFileBytes(planted, "planted"));
  const std::wstring tiny = VersionServiceDir() + L"\\tiny\\", tooLong = L"C:\\" + std::wstring(250, L't') + L"\\";
  struct Case {
    std::wstring url;
    const wchar_t* caption;  // of the box after the offer; null: none
    const wchar_t* text;
    During during = During::Nothing;
    std::wstring temp = L"";
  } cases[] = {
      {ServiceUrl(L"/nothing/here"), kUpdateFailedCaption, L"Server returned HTTP 404. Check the download URL."},
      {ServiceUrl(L"/empty"), kUpdateFailedCaption, kDownloadFailedText},
      {ServiceUrl(L"/drop/half.bin"), kUpdateFailedCaption, kDownloadIncompleteText},
      // Broken off without a length to compare with: still cut short.
      {ServiceUrl(L"/chunkdrop/setup.exe"), kUpdateFailedCaption, kDownloadIncompleteText},
      // A server that falls silent is given up well within 30 s.
      {ServiceUrl(L"/stall/half.bin"), kUpdateFailedCaption, kDownloadIncompleteText},
      {L"https://127.0.0.1:9/setup.exe", kUpdateFailedCaption, L"No response from server."},
      // Never over plain http, not even by a redirect.
      {L"http://updates.quillomat.example/files/setup.exe", kUpdateFailedCaption, kInvalidUrlText},
      {ServiceUrl(L"/redirect/setup.exe"), kUpdateFailedCaption, L"No response from server."},
      {L"nonsense", kUpdateFailedCaption, kInvalidUrlText},
      {L"", kUpdateErrorCaption, L"No download URL available. Please contact support."},
      // A disk that fills up part way, and a folder too long for the name:
      // no broken or wrongly named installer.
      {ServiceUrl(L"/files/setup.exe"), kUpdateFailedCaption, kCannotWriteText, During::Nothing, tiny},
      {ServiceUrl(L"/files/setup.exe"), kUpdateFailedCaption, kCannotWriteText, During::Nothing, tooLong},
      // Cancelled: quietly, and without waiting for the whole body.
      {ServiceUrl(L"/slow/slow.bin"), nullptr, nullptr, During::ClickCancel},
      {ServiceUrl(L"/slow/slow.bin"), nullptr, nullptr, During::PressEscape},
      // The program closed meanwhile, with the server silent: the download
      // is given up at once and the quit passed on.
      {ServiceUrl(L"/stall/half.bin"), nullptr, nullptr, During::Quit},
      // Last, and no failure: a download without a length starts the
      // installer and closes the main window.
      {ServiceUrl(L"/nolength/setup.exe"), nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.url.begin(), c.url.end()) + " in " + std::string(c.temp.begin(), c.temp.end()));
    const bool installs = !c.caption && c.during == During::Nothing;
    ClearAcknowledgedVersion();
    g_pendingUpdate = UpdateInfo{L"1.2.0", L"Faster.", c.url};
    ScopedEnvironment tmp({{L"TMP", c.temp.empty() ? temp.path() : c.temp}});
    const std::string requestsBefore = VersionServiceRequests();
    User user(c.during);
    const DWORD start = GetTickCount();
    if (ShowUpdatePrompt(owner)) StartReadyUpdate(owner);
    const DWORD took = GetTickCount() - start;
    user.Finish();
    ASSERT_EQ(user.boxes.size(), c.caption ? 2u : 1u) << Narrow(user.boxes.back().text);
    EXPECT_EQ(user.boxes[0].caption, kOfferCaption);
    if (c.caption) {
      EXPECT_EQ(user.boxes[1].caption, c.caption);
      EXPECT_EQ(user.boxes[1].text, c.text);
    }
    EXPECT_LT(took, c.during == During::Nothing ? 30000u : 5000u);
    EXPECT_FALSE(c.url.empty() && user.sawProgress);
    if (c.url.rfind(L"http:", 0) == 0 || c.url.find(L"/redirect/") != std::wstring::npos) {
      EXPECT_EQ(VersionServiceRequests().find("/files/", requestsBefore.size()), std::string::npos);
    }
    MSG posted;
    EXPECT_EQ(PeekMessageW(&posted, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, c.during == During::Quit);
    EXPECT_EQ(PeekMessageW(&posted, owner, WM_CLOSE, WM_CLOSE, PM_REMOVE) != FALSE, installs);
    EXPECT_EQ(AcknowledgedVersion(), installs ? L"1.2.0" : L"");
    // A worker left waiting on a silent server removes its folder when it
    // gives up.
    EXPECT_TRUE(WaitFor([&] { return CountMatching(temp.path(), L"Quillomat-Update-*") == (installs ? 1 : 0); }, 15000));
    EXPECT_TRUE(!installs || WaitFor([] { return FileExists(InstallerRanMark()); }, 10000));
  }
  EXPECT_EQ(ReadFileBytes(planted), "planted");
  ClearAcknowledgedVersion();
  DestroyWindow(owner);
}

}  // namespace
