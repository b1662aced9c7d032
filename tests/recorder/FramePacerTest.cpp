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

// At 30 and 60 frames a second, an exact clock for ten seconds, and coarse
// sleeps with slow frames for an hour, each with a frame of 100 ms now and
// then: every frame in its own slot of the grid (33 ms, or exactly 1000/60
// ms), from time zero, the overdue ones taken back to back, and one frame
// per slot of recorded time.
TEST(FramePacer, FramesFollowTheGridFromTimeZero) {
  struct Case {
    uint32_t fps;
    int64_t slotMs, slotParts;  // a slot is slotMs / slotParts ms
    bool coarse;
  } cases[] = {{30, 33, 1, false}, {30, 33, 1, true}, {60, 1000, 60, false}, {60, 1000, 60, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fps << (c.coarse ? " fps, coarse, an hour" : " fps, exact, ten seconds"));
    SimulatedHost host;
    host.sleepOvershootUs = c.coarse ? 1500 : 0;
    host.frameCostUs = [&c](size_t k) -> int64_t { return k % 1000 == 10 ? 100000 : c.coarse ? 12000 * 30 / c.fps : 0; };
    host.endUs = (c.coarse ? 3600000 : 10000) * int64_t{1000};
    RecordingClock clock([&host] { return host.nowUs; }, 1000000);
    clock.Start();
    RunPacingLoop(clock, host, c.fps);
    ASSERT_FALSE(host.frames.empty());
    EXPECT_EQ(host.frames[0].sampleTime, 0);
    for (size_t k = 0; k < host.frames.size(); ++k) {
      // Frame k's slot in 100-ns units, rounded up: the frame's own time is
      // a whole millisecond at or after it.
      const int64_t slot = (static_cast<int64_t>(k) * c.slotMs * 10000 + c.slotParts - 1) / c.slotParts;
      ASSERT_GE(host.frames[k].sampleTime, slot) << "frame " << k;
      // With an exact sleep the loop closes in on the slot to within a
      // millisecond; an overdue frame comes as soon as the one before it ends.
      const int64_t previousEnd = k ? (host.frames[k - 1].takenAtUs + host.frameCostUs(k - 1)) * 10 : 0;
      if (!c.coarse) {
        ASSERT_LE(host.frames[k].sampleTime, std::max(slot, previousEnd) + 10000) << "frame " << k;
      }
    }
    EXPECT_NEAR(static_cast<int64_t>(host.frames.size()), host.nowUs / 1000 * c.slotParts / c.slotMs + 1, 1);
    EXPECT_GT(host.sleptUs * 2, host.nowUs) << "the loop sleeps between frames";
  }
}

}  // namespace
