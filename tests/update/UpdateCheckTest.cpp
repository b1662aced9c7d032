// The HTTP client and the update check against the local version service.
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include "tests/support/ScreenFixtures.h"
#include "update/HttpClient.h"
#include "update/Version.h"

namespace {

// The answer itself is read end to end, in every offer.
TEST(HttpClient, BodiesWhateverTheStatus) {
  ServeFile(L"big.bin", std::string(2 * 1024 * 1024, 'q'));
  EXPECT_EQ(HttpGet(ServiceUrl(L"/nothing/here")), "unknown");
  EXPECT_EQ(HttpGet(ServiceUrl(L"/empty")), "");
  EXPECT_EQ(HttpGet(ServiceUrl(L"/files/big.bin")), "");  // larger than any answer: not kept
  // A URL that cannot be split sends nothing at all.
  const std::string before = VersionServiceRequests();
  EXPECT_EQ(HttpGet(L"https://" + std::wstring(256, L'h') + L"/api/version/latest"), "");
  EXPECT_EQ(HttpGet(ServiceUrl(L"/") + std::wstring(511, L'p')), "");
  EXPECT_EQ(VersionServiceRequests(), before);
  EXPECT_EQ(HttpGet(L"http://127.0.0.1:9/nothing"), "");  // no server
}

TEST(UpdateCheck, OffersOnlyANewerVersionNotYetAcknowledged) {
  const std::string current(kCurrentVersion, kCurrentVersion + wcslen(kCurrentVersion));
  const std::string full = R"({"available":true,"version":"99.0.0","download_url":"https://x.test/s.exe"})";
  struct Case {
    std::string answer;
    std::wstring acknowledged;
    bool offered;
  } cases[] = {
      {full, L"", true},
      {full, L"99.0.0", false},
      {full, L"0.0.1", true},
      {R"({"available":true,"version":"99.0.0 "})", L"", false},  // not well formed
      {R"({"available":false,"version":"99.0.0"})", L"", false},
      {R"({"available":true,"version":")" + current + R"("})", L"", false},  // not newer
      {R"({"available":true,"version":"99.0.0","download_url":""})", L"", true},  // reported at the download
  };
  for (const Case& c : cases) {
    ClearAcknowledgedVersion();
    const DWORD bytes = static_cast<DWORD>((c.acknowledged.size() + 1) * sizeof(wchar_t));
    EXPECT_TRUE(c.acknowledged.empty() || RegSetKeyValueW(HKEY_CURRENT_USER, kUpdateRegistryKey, kAcknowledgedValue,
                                                          REG_SZ, c.acknowledged.c_str(), bytes) == ERROR_SUCCESS);
    SetVersionAnswer(c.answer);
    UpdateInfo info;
    EXPECT_EQ(CheckForUpdate(info), c.offered) << c.answer << " acknowledged " << c.acknowledged.size();
  }
  // The service has no answer again, so that no later program sees an offer;
  // only here, as another test program may end while a test beside it has
  // set an answer of its own.
  ClearVersionAnswer();
  ClearAcknowledgedVersion();
}

}  // namespace
