#include "update/Version.h"

#include <gtest/gtest.h>

namespace {

TEST(Version, Parsing) {
  EXPECT_EQ(ParseVersion(L"1.2.3"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ParseVersion(L""), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(ParseVersion(L"2"), (std::vector<int>{2, 0, 0}));
  EXPECT_EQ(ParseVersion(L"1.0.0.5"), (std::vector<int>{1, 0, 0, 5}));
  EXPECT_EQ(ParseVersion(L"99999999999.1"), (std::vector<int>{2147483647, 1, 0}));
}

TEST(Version, NewerThanTheRunningVersion) {
  struct Case {
    const wchar_t* offered;
    bool newer;
  } cases[] = {{L"1.0.1", true}, {L"1.0.0", false},   {L"0.9.9", false}, {L"2", true},
               {L"1.0", false},  {L"1.0.0.5", false}, {L"1.10.0", true}};
  for (const Case& c : cases) EXPECT_EQ(IsNewerVersion(c.offered, kCurrentVersion), c.newer) << c.offered;
}

// What the service may offer: anything else, however it would parse, is
// no offer at all.
TEST(Version, OfferedVersionIsOneToFourNumbers) {
  const struct {
    std::wstring text;
    bool offered;
  } cases[] = {{L"2", true},          {L"1.2.3.4", true},    {L"10.0.01", true},      {std::wstring(32, L'7'), true},
               {L"", false},          {L"1.2.3.4.5", false}, {L"1..2", false},        {L".1", false},
               {L"1.", false},        {L" 1.2", false},      {L"1.0.1-beta", false},  {L"-1.5.0", false},
               {std::wstring(33, L'7'), false}};
  for (const auto& c : cases) EXPECT_EQ(IsWellFormedVersion(c.text), c.offered) << c.text.size();
}

// What an installer's version resource must hold for an offered version.
TEST(Version, PackedAsAVersionResourceHoldsIt) {
  EXPECT_EQ(PackedVersion(L"1.2"), 0x0001000200000000u);  // the numbers not given are 0
  EXPECT_EQ(PackedVersion(L"65535.9.0.007"), 0xFFFF000900000007u);
  for (const wchar_t* none : {L"65536.0", L"1.2.3.4.5", L"1.2-beta"}) EXPECT_EQ(PackedVersion(none), std::nullopt) << none;
}

}  // namespace
