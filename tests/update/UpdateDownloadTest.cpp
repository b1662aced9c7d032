// The download's failure modes, in-process against the local service: each
// says what went wrong in its box, records nothing and starts nothing. The
// accepted offer that installs is met end to end.
#include "update/UpdateDownloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScreenFixtures.h"
#include "update/UpdateCheck.h"

namespace {

enum class During { Nothing, Cancel, Quit };

// Plays the user on another thread: presses OK on every box of the update
// and, once the progress window is up, cancels or closes the program.
class User {
 public:
  struct Box {
    std::wstring caption, text;
  };
  explicit User(During during) : during_(during), uiThread_(GetCurrentThreadId()) {
    thread_ = std::thread([this] { Run(); });
  }
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
      for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
        wchar_t caption[128] = {}, text[512] = {};
        GetWindowTextW(box, caption, 128);
        if (!IsWindowVisible(box) || box == last) continue;
        if (wcscmp(caption, kProgressTitle) == 0) {
          if (!sawProgress && during_ == During::Cancel) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
          if (!sawProgress && during_ == During::Quit) PostThreadMessageW(uiThread_, WM_QUIT, 0, 0);
          sawProgress = true;
          continue;
        }
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        boxes.push_back({caption, text});
        last = box;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    }
  }
  During during_;
  DWORD uiThread_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class UpdateDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAcknowledgedVersion();
    DeleteFileW(InstallerRanMark().c_str());
    owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 520, 310, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  void TearDown() override { DestroyWindow(owner_); }
  static std::wstring Url(const std::wstring& path) { return std::wstring(kServiceBaseUrl) + path; }
  static bool QuitPosted() {
    MSG quit;
    return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  }
  HWND owner_ = nullptr;
};

// Each failure says what went wrong in its box, records nothing and starts
// nothing.
TEST_F(UpdateDownloadTest, EveryWayADownloadEnds) {
  ServeFiller(L"half.bin", 300000);
  ServeFiller(L"slow.bin", 400000);  // about five seconds at the service's pace
  ServeInstaller(L"setup.exe");      // larger than the 64 KB the tiny folder holds
  const std::wstring tiny = VersionServiceDir() + L"\\tiny\\", tooLong = L"C:\\" + std::wstring(250, L't') + L"\\";
  struct Case {
    std::wstring url, temp;
    During during;
    const wchar_t* caption;  // of the box after the offer; null: none
    const wchar_t* text;
  } cases[] = {
      {Url(L"/status/404"), L"", During::Nothing, kUpdateFailedCaption, L"Server returned HTTP 404. Check the download URL."},
      {Url(L"/empty"), L"", During::Nothing, kUpdateFailedCaption, kDownloadFailedText},
      {Url(L"/drop/half.bin"), L"", During::Nothing, kUpdateFailedCaption, kDownloadIncompleteText},
      {L"http://127.0.0.1:9/setup.exe", L"", During::Nothing, kUpdateFailedCaption, L"No response from server."},
      {L"nonsense", L"", During::Nothing, kUpdateFailedCaption, L"Invalid download URL."},
      {L"", L"", During::Nothing, kUpdateErrorCaption, L"No download URL available. Please contact support."},
      // A disk that fills up part way, and a folder too long for the name:
      // no broken or wrongly named installer.
      {Url(L"/files/setup.exe"), tiny, During::Nothing, kUpdateFailedCaption, kCannotWriteText},
      {Url(L"/files/setup.exe"), tooLong, During::Nothing, kUpdateFailedCaption, kCannotWriteText},
      // Cancelled: quietly, and without waiting for the whole body.
      {Url(L"/slow/slow.bin"), L"", During::Cancel, nullptr, nullptr},
      // The program closed meanwhile: the download's loop takes the quit, the
      // download ends as it would, and the quit is passed on afterwards.
      {Url(L"/slowdrop/half.bin"), L"", During::Quit, kUpdateFailedCaption, kDownloadIncompleteText},
      // Last, and no failure: a download without a length, which has no total
      // to check against, starts the installer and ends the program. (The
      // whole accepted road from a served file is met end to end.)
      {Url(L"/nolength/setup.exe"), L"", During::Nothing, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.url.begin(), c.url.end()) + " in " + std::string(c.temp.begin(), c.temp.end()));
    const bool installs = !c.caption && c.during == During::Nothing;
    if (installs) {
      Sleep(300);
      EXPECT_FALSE(FileExists(InstallerRanMark())) << "an installer was started after a failure";
    }
    g_pendingUpdate = UpdateInfo{L"1.2.0", L"Faster.", c.url};
    ScopedEnvironment temp({{L"TMP", c.temp.empty() ? FromEnvironment(L"TMP") : c.temp}});
    User user(c.during);
    const DWORD start = GetTickCount();
    ShowUpdatePrompt(owner_);
    const DWORD took = GetTickCount() - start;
    user.Finish();
    ASSERT_EQ(user.boxes.size(), c.caption ? 2u : 1u);
    EXPECT_EQ(user.boxes[0].caption, kOfferCaption);
    if (c.caption) {
      EXPECT_EQ(user.boxes[1].caption, c.caption);
      EXPECT_EQ(user.boxes[1].text, c.text);
    }
    if (c.during == During::Cancel) {
      EXPECT_LT(took, 4000u);
    }
    if (c.url.empty()) {
      EXPECT_FALSE(user.sawProgress);
    }
    EXPECT_EQ(QuitPosted(), installs || c.during == During::Quit);
    EXPECT_EQ(AcknowledgedVersion(), installs ? L"1.2.0" : L"");
  }
  EXPECT_TRUE(WaitFor([] { return FileExists(InstallerRanMark()); }, 10000));
  ClearAcknowledgedVersion();
}

}  // namespace
