#include "recorder/RecordingClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "recorder/AudioMixer.h"
#include "recorder/FramePacer.h"

namespace {

// Pauses stamped where they are asked for; what lies in one is left out,
// frame by frame, what lies between them is recorded; the end is a pause
// that never ends.
TEST(RecordingClock, PausesAndTheEndAreLeftOutWhereTheyWereStamped) {
  int64_t now = 1000;
  RecordingClock clock([&] { return now; }, 1000);
  clock.Start();
  now = 2000;
  clock.Pause();
  now = 2500;
  clock.Pause();  // already paused: nothing
  EXPECT_TRUE(clock.Paused());
  EXPECT_EQ(clock.Now().recorded, 1000);  // frozen where the pause began
  now = 3000;
  clock.Resume();
  clock.Resume();
  now = 4000;
  clock.Pause();
  now = 4500;
  clock.Resume();
  now = 5000;
  EXPECT_FALSE(clock.Now().paused);
  EXPECT_EQ(clock.Now().recorded, 2500);

  int64_t r[4] = {};
  EXPECT_TRUE(clock.RecordedAt(990, r[0]) && clock.RecordedAt(3010, r[1]) && clock.RecordedAt(4600, r[2]));
  EXPECT_EQ(std::vector<int64_t>(r, r + 3), (std::vector<int64_t>{-10, 1010, 2100}));
  EXPECT_FALSE(clock.RecordedAt(2000, r[3]) || clock.RecordedAt(2999, r[3]) || clock.RecordedAt(4200, r[3]));

  // A packet from 1900 to 4700 keeps 1900-2000, 3000-4000 and 4500-4700.
  std::vector<RecordingClock::Stretch> kept;
  clock.Recorded(1900, 4700, kept);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_TRUE(kept[0].offset == 0 && kept[0].recorded == 900 && kept[0].length == 100);
  EXPECT_TRUE(kept[1].offset == 1100 && kept[1].recorded == 1000 && kept[1].length == 1000);
  EXPECT_TRUE(kept[2].offset == 2600 && kept[2].recorded == 2000 && kept[2].length == 200);

  now = 6000;
  clock.End();
  now = 9000;
  clock.Resume();  // ended: stays so
  EXPECT_TRUE(clock.Now().paused);
  EXPECT_EQ(clock.Now().recorded, 3500);
  clock.Recorded(5900, 6100, kept);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].length, 100);
  EXPECT_EQ(clock.Units(-1500, 1000), -1500);
  EXPECT_EQ(clock.Ticks(2, 1), 2000);
}

// The video thread (the real pacing loop) and the audio thread (the real
// placement and mix) on one simulated clock, with 1,000 pauses stamped at
// random instants by the user-interface thread: at every frame, the sound
// under the frame's time was captured when the frame was taken, within one
// packet; no frame comes from a pause; the track runs from 0 to the end.
class World : public PacingHost {
 public:
  static constexpr uint32_t kRate = 8000;
  static constexpr uint32_t kPacket = 80;  // 10 ms
  static constexpr int kMarkers = 30000;

  World() : clock_([this] { return nowUs_; }, 1000000), mixer_({kRate, 1}, 1, clock_) {
    std::mt19937 random(29);
    std::uniform_int_distribution<int64_t> span(1000, 400000);
    int64_t at = 1000000;
    for (int i = 0; i < 1000; ++i) {
      at += span(random);
      pauses_.push_back({at, at + span(random)});
      at = pauses_.back().second;
    }
    endUs_ = at + 300000;
    nowUs_ = kOriginUs;
    clock_.Start();
  }

  // The loop's own sleeps and frames move the time; the user's pauses and
  // the audio thread's passes happen at their instants on the way.
  void SleepMs(uint32_t ms) override { Advance(ms == 0 ? 50 : int64_t{ms} * 1000); }
  void TakeFrame(int64_t sampleTime) override {
    frames_.push_back({sampleTime, nowUs_});
    Advance(frames_.size() % 97 == 0 ? 60000 : 3000);
  }
  bool StopRequested() override { return nowUs_ >= endUs_; }

  void Run() {
    RunPacingLoop(clock_, *this);
    clock_.End();
    Deliver();
    Mix(true);
  }

  bool InPause(int64_t us) const {
    for (const auto& [from, to] : pauses_) {
      if (us >= from && us < to) return true;
    }
    return false;
  }

  static constexpr int64_t kOriginUs = 500000, kDeviceUs = kOriginUs + 300000, kGapUs = 30000000;
  RecordingClock clock_;
  std::vector<std::pair<int64_t, int64_t>> pauses_;
  struct Frame {
    int64_t sampleTime, takenUs;
  };
  std::vector<Frame> frames_;
  std::vector<int16_t> track_;

 private:
  void Mix(bool all) {
    mixer_.Mix(clock_.Now(), all, [this](const int16_t* s, uint32_t n) { track_.insert(track_.end(), s, s + n); });
  }

  void Advance(int64_t us) {
    const int64_t until = nowUs_ + us;
    while (nowUs_ < until) {
      const int64_t event = nextPause_ == pauses_.size() ? INT64_MAX
                            : pausing_                   ? pauses_[nextPause_].second
                                                         : pauses_[nextPause_].first;
      nowUs_ = std::max(nowUs_, std::min({until, nextPollUs_, event}));
      if (nowUs_ == event) {
        if (pausing_) {
          clock_.Resume();
          ++nextPause_;
        } else {
          clock_.Pause();
        }
        pausing_ = !pausing_;
      }
      if (nowUs_ == nextPollUs_) {
        Deliver();
        Mix(false);
        nextPollUs_ += 8000;
      }
    }
  }

  // The device, whose first frame comes 0.3 s after the recording began (a
  // stream takes its time to start): packets of 10 ms, each frame marked
  // with its own number. As a sound server's helper on a busy machine does,
  // a helper takes what is ready every 10 ms, up to 10 ms late, and stamps
  // it with that moment; every 1.3 s it is held up for 50 ms. From 30 s on
  // it delivers nothing for half a second (as Windows' loopback does while
  // nothing plays).
  void Deliver() {
    packets_.clear();
    samples_.clear();
    for (;; ++next_) {
      const int64_t first = next_ * kPacket, endUs = kDeviceUs + (first + kPacket) * 1000000 / kRate;
      int64_t pullUs = (endUs + 9999) / 10000 * 10000 + next_ * 7919 % 10000;
      if (pullUs % 1300000 < 50000) pullUs += 50000 - pullUs % 1300000;
      if (pullUs > nowUs_) break;
      if (endUs > kGapUs && endUs <= kGapUs + 500000) continue;
      for (uint32_t i = 0; i < kPacket; ++i) samples_.push_back(static_cast<int16_t>(1 + (first + i) % kMarkers));
      packets_.push_back({kPacket, static_cast<uint64_t>(pullUs) * 10});
    }
    mixer_.Add(0, samples_.data(), packets_, clock_.Now());
  }

  TrackMixer mixer_;
  int64_t nowUs_ = 0, endUs_ = 0, nextPollUs_ = kOriginUs + 8000;
  int64_t next_ = 0;
  std::vector<TrackMixer::Packet> packets_;
  std::vector<int16_t> samples_;
  size_t nextPause_ = 0;
  bool pausing_ = false;
};

TEST(RecordingClock, PictureAndSoundAgreeAcrossAThousandPauses) {
  World world;
  world.Run();
  ASSERT_GT(world.frames_.size(), 5000u);
  const auto window = static_cast<int64_t>(2 * World::kPacket);
  double worstMs = 0;
  for (size_t k = 0; k < world.frames_.size(); ++k) {
    const World::Frame& f = world.frames_[k];
    ASSERT_FALSE(world.InPause(f.takenUs)) << "frame " << k << " taken in a pause";
    // Where the sound captured when the frame was taken lies in the track
    // (or the nearest that was kept: a stamp a millisecond off may cut it),
    // against where the frame lies.
    const int64_t at = f.sampleTime * World::kRate / 10000000;
    // Not while the device's first packets are on their way, nor while it delivers nothing.
    if (f.takenUs < World::kDeviceUs + 100000 || (f.takenUs >= World::kGapUs - 10000 && f.takenUs < World::kGapUs + 510000)) {
      continue;
    }
    const int64_t captured = (f.takenUs - World::kDeviceUs) * World::kRate / 1000000;
    int64_t nearest = window, where = 0;
    const auto size = static_cast<int64_t>(world.track_.size());
    for (int64_t q = std::max<int64_t>(0, at - window); q < at + window && q < size; ++q) {
      int64_t diff = (world.track_[q] - 1) - captured % World::kMarkers;
      if (diff > World::kMarkers / 2) diff -= World::kMarkers;
      if (diff < -World::kMarkers / 2) diff += World::kMarkers;
      if (std::abs(diff) < std::abs(nearest)) {
        nearest = diff;
        where = q;
      }
    }
    ASSERT_LE(std::abs(nearest), 16) << "frame " << k << ": its sound is not within two packets of it";
    worstMs = std::max(worstMs, static_cast<double>(std::abs(where - at)) * 1000.0 / World::kRate);
  }
  EXPECT_LE(worstMs, 1000.0 * World::kPacket / World::kRate);
  // No hole anywhere, the device's hold-ups included, but for what it did not
  // deliver: its half second, and what had not come from it by the end.
  int64_t gapUs = 500000;
  for (const auto& [from, to] : world.pauses_) {
    gapUs -= std::max<int64_t>(0, std::min(to, World::kGapUs + 500000) - std::max(from, World::kGapUs));
  }
  const auto silent = std::count(world.track_.begin() + World::kRate * 4 / 10, world.track_.end() - World::kRate / 25, 0);
  EXPECT_NEAR(static_cast<double>(silent), static_cast<double>(gapUs * World::kRate / 1000000), World::kPacket);
  // A frame for every 33 ms of recorded time, and sound up to the end.
  const double endMs = static_cast<double>(world.clock_.Now().recorded) / 1000;
  EXPECT_NEAR(static_cast<double>(world.frames_.size()), endMs / 33 + 1, 2);
  EXPECT_NEAR(static_cast<double>(world.track_.size()) * 1000 / World::kRate, endMs, 1);
}

}  // namespace
