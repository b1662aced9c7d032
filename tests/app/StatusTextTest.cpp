#include "app/StatusText.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusText, FormatDuration) {
  EXPECT_EQ(FormatDuration(999), L"00:00:00");
  EXPECT_EQ(FormatDuration(3599999), L"00:59:59");
  EXPECT_EQ(FormatDuration(3600000), L"01:00:00");
  EXPECT_EQ(FormatDuration(100u * 3600000), L"100:00:00");
  EXPECT_EQ(FormatDuration(UINT32_MAX), L"1193:02:47");
}

TEST(StatusText, TickCounterWrapsDuringARecording) {
  DurationClock clock;
  const uint32_t start = UINT32_MAX - 1500;  // 1.5 s before the wrap
  RefreshDurationClock(clock, RecorderState::Recording, start);
  EXPECT_EQ(DurationOnTimer(clock, 2499), L"00:00:04");
  // Paused 5 s in, after the wrap: the duration stands still there.
  EXPECT_EQ(RefreshDurationClock(clock, RecorderState::Paused, 3500).status, L"Recording: 00:00:05");
  EXPECT_EQ(RecordedMs(clock, 9000), 5001u);  // stopped while paused: what was recorded
  EXPECT_EQ(RefreshDurationClock(clock, RecorderState::Recording, 13500).status, L"Recording: 00:00:05");
  EXPECT_EQ(DurationOnTimer(clock, 16500), L"00:00:08");
  // A pause that itself spans the wrap.
  DurationClock other;
  RefreshDurationClock(other, RecorderState::Recording, UINT32_MAX - 10000);
  RefreshDurationClock(other, RecorderState::Paused, UINT32_MAX - 5000);
  EXPECT_EQ(RefreshDurationClock(other, RecorderState::Recording, 5000).status, L"Recording: 00:00:05");
  // Stopped: nothing is left for the next recording to count from.
  EXPECT_EQ(RefreshDurationClock(other, RecorderState::Idle, 6000).status, L"Ready to Record");
  EXPECT_EQ(DurationOnTimer(other, 7000), L"");
}

TEST(StatusText, SavedTextGivesNameDurationAndSize) {
  EXPECT_EQ(SavedText(L"a.mp4", 83999, 523), L"a.mp4\n00:01:23, 523 bytes");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 1536), L"a.mp4\n00:00:00, 2 KB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 13002342), L"a.mp4\n00:00:00, 12.4 MB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 3ull << 30), L"a.mp4\n00:00:00, 3.00 GB");
}

TEST(StatusText, PausedWithoutAKnownStartSaysPaused) {
  DurationClock clock;
  EXPECT_EQ(RefreshDurationClock(clock, RecorderState::Paused, 700).status, L"Recording Paused");
}

}  // namespace
