// The HTTP client and the update check against the local version service.
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include "tests/support/ScreenFixtures.h"
#include "update/HttpClient.h"
#include "update/Version.h"

namespace {

std::wstring Service(const wchar_t* path) { return std::wstring(kServiceBaseUrl) + path; }

// After each test that sets an answer the service has none again, so that no
// later program sees an offer; only these tests, as another test program may
// end while a test beside it has set an answer of its own.
struct NoAnswerAfterwards {
  ~NoAnswerAfterwards() {
    ClearVersionAnswer();
    ClearAcknowledgedVersion();
  }
};

// The answer itself is read end to end, in every offer.
TEST(HttpClient, BodiesWhateverTheStatus) {
  ServeFiller(L"big.bin", 2 * 1024 * 1024);
  const struct {
    const wchar_t* url;
    std::string body;
  } cases[] = {
      {L"/nothing/here", "unknown"},
      {L"/empty", ""},
      {L"/files/big.bin", ""},  // larger than any answer: not kept
  };
  for (const auto& c : cases) EXPECT_EQ(HttpGet(Service(c.url)), c.body) << std::string(c.url, c.url + wcslen(c.url));
  // A URL that cannot be split sends nothing at all.
  const std::string before = VersionServiceRequests();
  EXPECT_EQ(HttpGet(L"https://" + std::wstring(256, L'h') + L"/api/version/latest"), "");
  EXPECT_EQ(HttpGet(std::wstring(kServiceBaseUrl) + L"/" + std::wstring(511, L'p')), "");
  EXPECT_EQ(VersionServiceRequests(), before);
  EXPECT_EQ(HttpGet(L"http://127.0.0.1:9/nothing"), "");  // no server
}

void Acknowledge(const std::wstring& version) {
  ClearAcknowledgedVersion();
  if (version.empty()) return;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUpdateRegistryKey, kAcknowledgedValue, REG_SZ, version.c_str(),
                            static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

TEST(UpdateCheck, OffersOnlyANewerVersionNotYetAcknowledged) {
  const NoAnswerAfterwards cleanUp;
  const std::vector<int> v = ParseVersion(kCurrentVersion);
  const std::string current(kCurrentVersion, kCurrentVersion + wcslen(kCurrentVersion));
  const std::string newer = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2] + 1);
  const std::wstring newerWide(newer.begin(), newer.end());
  const std::string full = R"({"available":true,"version":")" + newer +
                           R"(","download_url":"https://x.test/s.exe"})";
  struct Case {
    std::string answer;
    std::wstring acknowledged;
    bool offered;
  } cases[] = {
      {full, L"", true},
      {full, newerWide, false},
      {full, L"0.0.1", true},
      {R"({"available":true,"version":")" + newer + R"( "})", L"", false},  // not well formed
      {R"({"available":false,"version":"99.0.0"})", L"", false},
      {R"({"available":true,"version":")" + current + R"("})", L"", false},  // not newer
      {R"({"available":true,"version":")" + newer + R"(","download_url":""})", L"", true},  // reported at the download
  };
  for (const Case& c : cases) {
    Acknowledge(c.acknowledged);
    SetVersionAnswer(c.answer);
    UpdateInfo info;
    EXPECT_EQ(CheckForUpdate(info), c.offered) << c.answer << " acknowledged " << c.acknowledged.size();
  }
}

}  // namespace
