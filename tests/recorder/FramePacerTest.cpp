#include "recorder/FramePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

namespace {

// A world with a microsecond clock that moves only when the loop sleeps or
// takes a frame, until endUs. Sleep(0) costs 50 us, as giving up a time slice
// does.
class SimulatedHost : public PacingHost {
 public:
  struct Frame {
    int64_t sampleTime;  // what the loop stamped, 100-ns units
    int64_t takenAtUs;   // simulated clock when it was taken
  };

  RecorderState State() override { return state; }
  bool StopRequested() override {
    if (onPass) onPass(*this);
    return nowUs >= endUs;
  }
  int64_t NowMs() override { return nowUs / 1000; }
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
  RecorderState state = RecorderState::Recording;
  std::function<void(SimulatedHost&)> onPass;
  std::vector<Frame> frames;
};

void RunUntilMs(SimulatedHost& host, int64_t endMs) {
  FramePacer pacer;
  host.endUs = endMs * 1000;
  RunPacingLoop(host, pacer);
}

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
    RunUntilMs(host, coarse ? 3600000 : 10000);
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

// Pauses of 15 ms to an hour, one after another, each after a second of
// recording: each leaves on the timeline only what the loop could not see of
// it (the tail of one sleep, one 10 ms pass), no frame is taken during one,
// and the grid runs on recorded time, the pauses not in it.
TEST(FramePacer, PausesLeaveNoGapInTheTimeline) {
  SimulatedHost host;
  host.frameCostUs = [](size_t) { return 3000; };
  const int64_t pausesMs[] = {15, 250, 5000, 3600000};
  size_t next = 0;
  int64_t resumeAtUs = 0, recordUntilUs = 1000 * 1000;
  std::vector<std::pair<int64_t, int64_t>> pausedUs;
  std::vector<size_t> firstFrameAfterResume;
  host.onPass = [&](SimulatedHost& h) {
    if (h.state == RecorderState::Recording && h.nowUs >= recordUntilUs && next < std::size(pausesMs)) {
      h.state = RecorderState::Paused;
      resumeAtUs = h.nowUs + pausesMs[next++] * 1000;
      pausedUs.emplace_back(h.nowUs, resumeAtUs);
    } else if (h.state == RecorderState::Paused && h.nowUs >= resumeAtUs) {
      h.state = RecorderState::Recording;
      recordUntilUs = h.nowUs + 1000 * 1000;
      firstFrameAfterResume.push_back(h.frames.size());
    }
  };
  RunUntilMs(host, 5000 + 15 + 250 + 5000 + 3600000);
  ASSERT_EQ(firstFrameAfterResume.size(), 4u);
  for (size_t index : firstFrameAfterResume) {
    ASSERT_TRUE(index > 0 && index < host.frames.size());
    const int64_t step = host.frames[index].sampleTime - host.frames[index - 1].sampleTime;
    EXPECT_GE(step, 0);
    EXPECT_LE(step, (33 + 45) * 10000);
  }
  for (const auto& f : host.frames) {
    for (const auto& [from, to] : pausedUs) EXPECT_FALSE(f.takenAtUs >= from + 20000 && f.takenAtUs < to);
  }
  const int64_t lastMs = host.frames.back().sampleTime / 10000;
  EXPECT_NEAR(lastMs, 5000, 150);
  EXPECT_NEAR(static_cast<int64_t>(host.frames.size()), lastMs / 33 + 1, 2);
}

}  // namespace
