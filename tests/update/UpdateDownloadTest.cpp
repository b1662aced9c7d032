// The offer, the download with its progress window, and the installer start,
// against the local service and a stand-in installer.
#include "update/UpdateDownloader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/Win32Handles.h"
#include "update/UpdateCheck.h"

namespace {

std::wstring ServiceDir() {
  wchar_t dir[MAX_PATH] = {};
  GetEnvironmentVariableW(L"QM_VERSION_SERVICE_DIR", dir, MAX_PATH);
  return dir;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}

// Puts the stand-in installer (or `bytes` of filler) where the service serves it.
void Serve(const wchar_t* name, size_t fillerBytes = 0) {
  const std::wstring files = ServiceDir() + L"\\files";
  CreateDirectoryW(files.c_str(), nullptr);
  const std::wstring target = files + L"\\" + name;
  if (fillerBytes == 0) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring installer = self;
    installer = installer.substr(0, installer.find_last_of(L"\\/") + 1) + L"fake_installer.exe";
    ASSERT_TRUE(CopyFileW(installer.c_str(), target.c_str(), FALSE));
  } else {
    unique_file file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string filler(fillerBytes, 'q');
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), filler.data(), static_cast<DWORD>(filler.size()), &written, nullptr));
  }
}

std::wstring Url(const wchar_t* kind, const wchar_t* name) {
  return std::wstring(kServiceBaseUrl) + L"/" + kind + L"/" + name;
}

std::wstring Acknowledged() { return AcknowledgedVersion(); }
void ClearAcknowledged() {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
    RegDeleteValueW(key.get(), kAcknowledgedValue);
  }
}

// Plays the user: answers the boxes of this process in turn.
class User {
 public:
  struct Box {
    std::wstring caption, text;
  };
  // answers: what to press on each box that comes up, in order.
  explicit User(std::vector<int> answers, bool cancelDownload = false)
      : answers_(std::move(answers)), cancelDownload_(cancelDownload) {
    thread_ = std::thread([this] { Run(); });
  }
  ~User() {
    done_ = true;
    thread_.join();
  }
  std::vector<Box> boxes;
  bool sawProgress = false;

 private:
  void Run() {
    size_t next = 0;
    while (!done_) {
      Sleep(30);
      HWND progress = FindWindowW(L"#32770", kProgressTitle);
      if (progress && IsWindowVisible(progress)) {
        sawProgress = true;
        if (cancelDownload_) {
          Sleep(200);
          PostMessageW(progress, WM_COMMAND, IDCANCEL, 0);
          cancelDownload_ = false;
        }
        continue;
      }
      for (const wchar_t* caption : {kOfferCaption, kUpdateErrorCaption, kUpdateFailedCaption}) {
        HWND box = FindWindowW(L"#32770", caption);
        if (!box || !IsWindowVisible(box) || box == last_) continue;
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        boxes.push_back({caption, text});
        last_ = box;
        PostMessageW(box, WM_COMMAND, next < answers_.size() ? answers_[next++] : IDOK, 0);
      }
    }
  }
  std::vector<int> answers_;
  bool cancelDownload_;
  std::atomic<bool> done_{false};
  HWND last_ = nullptr;
  std::thread thread_;
};

// Points the temporary folder (TMP) elsewhere for one scope.
class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::wstring& folder) {
    GetEnvironmentVariableW(L"TMP", saved_, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
  }
  ~TempFolderOverride() { SetEnvironmentVariableW(L"TMP", saved_); }

 private:
  wchar_t saved_[MAX_PATH] = {};
};

// Offers the update, accepts it, and returns the failure box that follows.
User::Box AcceptAndFail(HWND owner) {
  User user({IDOK, IDOK});
  ShowUpdatePrompt(owner);
  Sleep(100);
  return user.boxes.size() == 2 ? user.boxes[1] : User::Box{L"(no failure box)", L""};
}

class UpdateDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAcknowledged();
    DeleteFileW(TempFile(L"quillomat-installer-ran.txt").c_str());
    owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 520, 310, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  void TearDown() override {
    DestroyWindow(owner_);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
  void Offer(const std::wstring& url, const wchar_t* changelog = L"Faster.") {
    g_pendingUpdate = UpdateInfo{L"1.2.0", changelog, url};
  }
  static bool QuitPosted() {
    MSG quit;
    return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  }
  HWND owner_ = nullptr;
};

// The whole accepted road from a served file is met end to end; here, a
// download without a length, which has no total to show.
TEST_F(UpdateDownloadTest, DownloadWithoutALengthStartsTheInstallerAndEnds) {
  Serve(L"setup.exe");
  Offer(Url(L"nolength", L"setup.exe"));
  {
    User user({IDOK});
    ShowUpdatePrompt(owner_);
    Sleep(100);
    ASSERT_EQ(user.boxes.size(), 1u);
    EXPECT_EQ(user.boxes[0].text,
              L"A new version is available: 1.2.0\n\nWhat's new:\nFaster.\n\nClick OK to download and install, or Cancel to skip.");
  }
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"1.2.0");
  const std::wstring marker = TempFile(L"quillomat-installer-ran.txt");
  bool ran = false;
  for (int i = 0; i < 100 && !ran; ++i, Sleep(100)) ran = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
  EXPECT_TRUE(ran);
}

TEST_F(UpdateDownloadTest, NoAddressSaysSoAndRecordsNothing) {
  Offer(L"");
  {
    User user({IDOK, IDOK});
    ShowUpdatePrompt(owner_);
    Sleep(100);
    ASSERT_EQ(user.boxes.size(), 2u);
    EXPECT_EQ(user.boxes[1].caption, L"Update Error");
    EXPECT_EQ(user.boxes[1].text, L"No download URL available. Please contact support.");
    EXPECT_FALSE(user.sawProgress);
  }
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"");
}

TEST_F(UpdateDownloadTest, FailuresSayWhatWentWrongAndRecordNothing) {
  Serve(L"half.bin", 300000);
  struct Case {
    std::wstring url;
    const wchar_t* text;
  } cases[] = {
      {Url(L"status", L"404"), L"Server returned HTTP 404. Check the download URL."},
      {std::wstring(kServiceBaseUrl) + L"/empty", L"Download failed. Please check your internet connection and try again."},
      {Url(L"drop", L"half.bin"), L"The download ended early. Please check your internet connection and try again."},
      {L"http://127.0.0.1:9/setup.exe", L"No response from server."},
      {L"nonsense", L"Invalid download URL."},
  };
  for (const Case& c : cases) {
    Offer(c.url);
    const User::Box box = AcceptAndFail(owner_);
    EXPECT_EQ(box.caption, L"Update Failed") << c.url;
    EXPECT_EQ(box.text, c.text) << c.url;
  }
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"");
  EXPECT_EQ(GetFileAttributesW(TempFile(L"quillomat-installer-ran.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UpdateDownloadTest, CancelDuringTheDownloadEndsQuietly) {
  Serve(L"slow.bin", 400000);  // about five seconds at the service's pace
  Offer(Url(L"slow", L"slow.bin"));
  User user({IDOK}, /*cancelDownload=*/true);
  const DWORD start = GetTickCount();
  ShowUpdatePrompt(owner_);
  EXPECT_LT(GetTickCount() - start, 4000u);  // did not wait for the whole body
  Sleep(100);
  EXPECT_TRUE(user.sawProgress);
  EXPECT_EQ(user.boxes.size(), 1u);  // the offer only: no failure box
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"");
}

// Closing the program during a download: the quit is taken by the download's
// loop, the download still ends as it would, and the quit reaches the main
// loop afterwards.
TEST_F(UpdateDownloadTest, QuitDuringTheDownloadStillEndsTheProgramAfterwards) {
  Serve(L"ends-early.bin", 200000);
  Offer(Url(L"slowdrop", L"ends-early.bin"));
  const DWORD uiThread = GetCurrentThreadId();
  std::thread closer([uiThread] {
    for (int i = 0; i < 200 && !FindWindowW(L"#32770", kProgressTitle); ++i) Sleep(20);
    PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
  });
  User user({IDOK, IDOK});
  ShowUpdatePrompt(owner_);
  closer.join();
  Sleep(100);
  ASSERT_EQ(user.boxes.size(), 2u);
  EXPECT_EQ(user.boxes[1].text, L"The download ended early. Please check your internet connection and try again.");
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"");
}

// A temporary folder on a full disk (the write fails part way) or with too
// long a path: said so, and no broken or wrongly named installer starts.
TEST_F(UpdateDownloadTest, TemporaryFolderThatCannotTakeTheInstaller) {
  Serve(L"setup.exe");  // larger than the 64 KB the tiny folder holds
  Offer(Url(L"files", L"setup.exe"));
  for (const std::wstring& folder : {ServiceDir() + L"\\tiny\\", L"C:\\" + std::wstring(250, L't') + L"\\"}) {
    TempFolderOverride temp(folder);
    const User::Box box = AcceptAndFail(owner_);
    EXPECT_EQ(box.caption, L"Update Failed");
    EXPECT_EQ(box.text, L"Cannot write to temp file.");
  }
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(Acknowledged(), L"");
  Sleep(300);
  EXPECT_EQ(GetFileAttributesW(TempFile(L"quillomat-installer-ran.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UpdateDownloadTest, ProgressWindowSitsOverItsOwner) {
  // The stand-in installer, sent slowly; a completed download starts it.
  Serve(L"slow-setup.exe");
  WIN32_FILE_ATTRIBUTE_DATA served{};
  GetFileAttributesExW((ServiceDir() + L"\\files\\slow-setup.exe").c_str(), GetFileExInfoStandard, &served);
  const std::wstring totalKb = L" / " + std::to_wstring(served.nFileSizeLow / 1024) + L" KB";
  Offer(Url(L"slow", L"slow-setup.exe"));
  static RECT placed;
  static std::wstring status;
  std::thread watcher([] {
    HWND progress = nullptr;
    for (int i = 0; i < 200 && !(progress = FindWindowW(L"#32770", kProgressTitle)); ++i) Sleep(20);
    if (!progress) return;
    // The label moves on from "Connecting..." with the first piece (by then
    // the window has long been moved from where it was made to its place).
    for (int i = 0; i < 300 && IsWindow(progress); ++i, Sleep(10)) {
      wchar_t text[64] = {};
      GetWindowTextW(GetWindow(progress, GW_CHILD), text, 64);
      if (wcsncmp(text, L"Downloading... ", 15) == 0) {
        status = text;
        GetWindowRect(progress, &placed);
        break;
      }
    }
  });
  User user({IDOK});
  ShowUpdatePrompt(owner_);
  watcher.join();
  EXPECT_EQ(placed.left, 160);
  EXPECT_EQ(placed.top, 195);
  EXPECT_EQ(placed.right - placed.left, 400);
  EXPECT_EQ(status.rfind(L"Downloading... ", 0), 0u) << std::string(status.begin(), status.end());
  EXPECT_NE(status.find(totalKb), std::wstring::npos);
  EXPECT_TRUE(QuitPosted());
}

}  // namespace
