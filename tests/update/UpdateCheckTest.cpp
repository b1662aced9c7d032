// The HTTP client and the update check against a local version service.
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include "common/Win32Handles.h"
#include "update/HttpClient.h"

namespace {

std::wstring Service(const wchar_t* path) { return std::wstring(kServiceBaseUrl) + path; }

// What the service answers to the version request from now on.
void Answer(const std::string& json) {
  wchar_t dir[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"QM_VERSION_SERVICE_DIR", dir, MAX_PATH), 0u);
  unique_file file(CreateFileW((std::wstring(dir) + L"\\answer.json").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(file && WriteFile(file.get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr));
}

// After each test the service has no answer again (it then says 503), so
// that no other test's program sees an offer.
class NoAnswerAfterwards : public ::testing::Environment {
 public:
  void TearDown() override {
    wchar_t dir[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QM_VERSION_SERVICE_DIR", dir, MAX_PATH) > 0) {
      DeleteFileW((std::wstring(dir) + L"\\answer.json").c_str());
    }
  }
};
const auto* const kNoAnswerAfterwards = ::testing::AddGlobalTestEnvironment(new NoAnswerAfterwards);

// What the service has been asked so far.
std::string RequestLog() {
  wchar_t dir[MAX_PATH] = {};
  GetEnvironmentVariableW(L"QM_VERSION_SERVICE_DIR", dir, MAX_PATH);
  unique_file file(CreateFileW((std::wstring(dir) + L"\\requests.log").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (file && ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

void Acknowledge(const wchar_t* version) {
  unique_hkey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                            nullptr),
            ERROR_SUCCESS);
  if (version) {
    RegSetValueExW(key.get(), kAcknowledgedValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(key.get(), kAcknowledgedValue);
  }
}

TEST(HttpClient, SplitsUrls) {
  UrlParts parts;
  ASSERT_TRUE(SplitUrl(L"http://example.test/a/b?x=1", parts));
  EXPECT_EQ(parts.scheme, INTERNET_SCHEME_HTTP);
  EXPECT_EQ(parts.port, 80);
  EXPECT_EQ(parts.host, L"example.test");
  ASSERT_TRUE(SplitUrl(L"https://example.test/setup.exe", parts));
  EXPECT_EQ(parts.scheme, INTERNET_SCHEME_HTTPS);
  EXPECT_EQ(parts.port, 443);
  EXPECT_EQ(parts.path, L"/setup.exe");
  ASSERT_TRUE(SplitUrl(L"https://example.test:8443/x", parts));
  EXPECT_EQ(parts.port, 8443);
  EXPECT_FALSE(SplitUrl(L"/relative/path", parts));
  EXPECT_FALSE(SplitUrl(L"ftp://example.test/x", parts));
  EXPECT_FALSE(SplitUrl(L"http://" + std::wstring(256, L'h') + L"/x", parts));
  EXPECT_FALSE(SplitUrl(L"http://example.test/" + std::wstring(511, L'p'), parts));
  EXPECT_TRUE(SplitUrl(L"http://example.test/" + std::wstring(510, L'p'), parts));
}

TEST(HttpClient, BodiesWhateverTheStatus) {
  Answer(R"({"available":false})");
  EXPECT_EQ(HttpGet(Service(L"/api/version/latest")), R"({"available":false})");
  EXPECT_EQ(HttpGet(Service(L"/status/404")), "<html>not here</html>");
  EXPECT_EQ(HttpGet(Service(L"/empty")), "");
  EXPECT_EQ(HttpGet(Service(L"/pieces")), "piece 0;piece 1;piece 2;piece 3;piece 4;");
  // Larger than any answer: not kept.
  EXPECT_EQ(HttpGet(Service(L"/big")), "");
  // A URL that cannot be split sends nothing at all.
  const std::string before = RequestLog();
  EXPECT_EQ(HttpGet(L"https://" + std::wstring(256, L'h') + L"/api/version/latest"), "");
  EXPECT_EQ(HttpGet(std::wstring(kServiceBaseUrl) + L"/" + std::wstring(511, L'p')), "");
  EXPECT_EQ(RequestLog(), before);
  // No server, and no URL at all.
  EXPECT_EQ(HttpGet(L"http://127.0.0.1:9/nothing"), "");
  EXPECT_EQ(HttpGet(L"not a url"), "");
}

TEST(HttpClient, Utf8ToWide) {
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(Utf8ToWide("caf\xC3\xA9"), L"caf\u00E9");
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), L"ab");  // up to the first zero byte
}

TEST(UpdateCheck, OffersOnlyANewerAvailableVersionNotYetAcknowledged) {
  Acknowledge(nullptr);
  UpdateInfo info;
  Answer(R"({"available":true,"version":"1.2.0","changelog":"Faster.\nSmaller.","download_url":"http://127.0.0.1/s.exe"})");
  EXPECT_TRUE(CheckForUpdate(info));
  EXPECT_EQ(info.version, L"1.2.0");
  EXPECT_EQ(info.changelog, L"Faster.\nSmaller.");
  EXPECT_EQ(info.downloadUrl, L"http://127.0.0.1/s.exe");

  Acknowledge(L"1.2.0");
  EXPECT_FALSE(CheckForUpdate(info));
  EXPECT_EQ(info.version, L"1.2.0");  // read all the same
  Acknowledge(L"1.1.0");
  EXPECT_TRUE(CheckForUpdate(info));
  Acknowledge(L"1.2.0");
  Answer(R"({"available":true,"version":"1.2.0 "})");  // not equal to the acknowledged one
  EXPECT_TRUE(CheckForUpdate(info));
  Acknowledge(nullptr);

  struct Case {
    const char* answer;
    bool offered;
  } cases[] = {
      {R"({"available":false,"version":"9.0.0"})", false},
      {R"({"available":true})", false},
      {R"({"available":true,"version":""})", false},
      {R"({"available":true,"version":"1.0.0"})", false},
      {R"({"available":true,"version":"0.9.9"})", false},
      {R"({"available": true,"version":"2.0.0"})", false},
      {R"({"available":true,"version":"2"})", true},
      {R"({"available":true,"version":"1.0.1","download_url":""})", true},  // a missing address is reported later
  };
  for (const Case& c : cases) {
    Answer(c.answer);
    UpdateInfo fresh;
    EXPECT_EQ(CheckForUpdate(fresh), c.offered) << c.answer;
  }
}

TEST(UpdateCheck, ThreadHandsTheOfferToTheMainWindow) {
  Acknowledge(nullptr);
  Answer(R"({"available":true,"version":"1.3.0","changelog":"caf)" "\xC3\xA9" R"(","download_url":"http://x/y"})");
  static int received;
  static WPARAM wParam;
  static LPARAM lParam;
  received = 0;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_UPDATE_AVAILABLE) {
      ++received;
      wParam = wp;
      lParam = lp;
      return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
  };
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QuillomatUpdateTarget";
  RegisterClassW(&windowClass);
  HWND target = CreateWindowW(L"QuillomatUpdateTarget", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  g_mainWindowHandle = target;
  HANDLE thread = CreateThread(nullptr, 0, UpdateCheckThreadProc, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, 15000);
  CloseHandle(thread);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_EQ(received, 1);
  EXPECT_EQ(wParam, 0u);
  EXPECT_EQ(lParam, 0);
  EXPECT_EQ(g_pendingUpdate.version, L"1.3.0");
  EXPECT_EQ(g_pendingUpdate.changelog, L"caf\u00E9");
  EXPECT_EQ(g_pendingUpdate.downloadUrl, L"http://x/y");
  DestroyWindow(target);
}

}  // namespace
