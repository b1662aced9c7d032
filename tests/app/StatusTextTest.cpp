#include "app/StatusText.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusText, FormatDuration) {
  EXPECT_EQ(FormatDuration(999), L"00:00:00");
  EXPECT_EQ(FormatDuration(3599999), L"00:59:59");
  EXPECT_EQ(FormatDuration(3600000), L"01:00:00");
  EXPECT_EQ(FormatDuration(100u * 3600000), L"100:00:00");
  EXPECT_EQ(FormatDuration(UINT32_MAX), L"1193:02:47");
  EXPECT_EQ(FormatDuration(UINT64_MAX), L"5124095576030:25:51");
}

TEST(StatusText, SavedTextGivesNameDurationAndSize) {
  EXPECT_EQ(SavedText(L"a.mp4", 83999, 523), L"a.mp4\n00:01:23, 523 bytes");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 1536), L"a.mp4\n00:00:00, 2 KB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 13002342), L"a.mp4\n00:00:00, 12.4 MB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 3ull << 30), L"a.mp4\n00:00:00, 3.00 GB");
}

}  // namespace
