#include "recorder/FramePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// A world with a microsecond clock that moves only when the loop sleeps or
// takes a frame, until endUs. Sleep(0) costs 50 us, as giving up a time slice
// does. (Pauses are met with the sound, in RecordingClockTest.)
class SimulatedHost : public PacingHost {
 public:
  struct Frame {
    int64_t sampleTime;  // what the loop stamped, 100-ns units
    int64_t takenAtUs;   // simulated clock when it was taken
  };

  bool StopRequested() override { return nowUs >= endUs; }
  void SleepMs(uint32_t ms) override {
    const int64_t slept = ms == 0 ? 0 : int64_t{ms} * 1000 + sleepOvershootUs;
    sleptUs += slept;
    nowUs += ms == 0 ? 50 : slept;
  }
  void TakeFrame(int64_t sampleTime) override {
    frames.push_back({sampleTime, nowUs});
    nowUs += frameCostUs(frames.size() - 1);
  }

  int64_t nowUs = 0, sleptUs = 0, endUs = 0, sleepOvershootUs = 0;
  std::function<int64_t(size_t)> frameCostUs;
  std::vector<Frame> frames;
};

// An exact clock for ten seconds, and coarse sleeps with slow frames for an
// hour, each with a frame of 100 ms now and then: every frame in its own slot
// of the grid, from time zero, the overdue ones taken back to back, and one
// frame per 33 ms of recorded time.
TEST(FramePacer, FramesFollowTheGridFromTimeZero) {
  for (const bool coarse : {false, true}) {
    SCOPED_TRACE(coarse ? "coarse, an hour" : "exact, ten seconds");
    SimulatedHost host;
    host.sleepOvershootUs = coarse ? 1500 : 0;
    host.frameCostUs = [coarse](size_t k) -> int64_t { return k % 1000 == 10 ? 100000 : coarse ? 12000 : 0; };
    host.endUs = (coarse ? 3600000 : 10000) * int64_t{1000};
    RecordingClock clock([&host] { return host.nowUs; }, 1000000);
    clock.Start();
    RunPacingLoop(clock, host);
    ASSERT_FALSE(host.frames.empty());
    EXPECT_EQ(host.frames[0].sampleTime, 0);
    for (size_t k = 0; k < host.frames.size(); ++k) {
      const int64_t slot = static_cast<int64_t>(k) * 33 * 10000;
      ASSERT_GE(host.frames[k].sampleTime, slot) << "frame " << k;
      // With an exact sleep the loop closes in on the slot to within a
      // millisecond; an overdue frame comes as soon as the one before it ends.
      const int64_t previousEnd = k ? (host.frames[k - 1].takenAtUs + host.frameCostUs(k - 1)) * 10 : 0;
      if (!coarse) {
        ASSERT_LE(host.frames[k].sampleTime, std::max(slot, previousEnd) + 10000) << "frame " << k;
      }
    }
    EXPECT_NEAR(static_cast<int64_t>(host.frames.size()), host.nowUs / 1000 / 33 + 1, 1);
    EXPECT_GT(host.sleptUs * 2, host.nowUs) << "the loop sleeps between frames";
  }
}

}  // namespace
