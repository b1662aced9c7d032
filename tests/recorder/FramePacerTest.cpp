#include "recorder/FramePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// A world with a microsecond clock that moves only when the loop sleeps or
// takes a frame. Sleep(0) costs a little, as giving up a time slice does.
class SimulatedHost : public PacingHost {
 public:
  struct Frame {
    int64_t sampleTime;   // what the loop stamped, 100-ns units
    int64_t takenAtUs;    // simulated clock when it was taken
    uint32_t sleepBefore;  // the sleep of the pass before this frame's pass
  };

  RecorderState State() override { return state; }
  bool StopRequested() override {
    if (onPass) onPass(*this);
    return stop;
  }
  int64_t NowMs() override { return nowUs / 1000; }
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    nowUs += ms == 0 ? yieldCostUs : int64_t{ms} * 1000 + sleepOvershootUs;
  }
  void TakeFrame(int64_t sampleTime) override {
    frames.push_back({sampleTime, nowUs, sleeps.empty() ? 0 : sleeps.back()});
    sleepIndexOfFrame.push_back(sleeps.size());
    nowUs += frameCostUs ? frameCostUs(frames.size() - 1) : 0;
  }

  int64_t nowUs = 0;
  int64_t yieldCostUs = 50;
  int64_t sleepOvershootUs = 0;
  std::function<int64_t(size_t)> frameCostUs;
  RecorderState state = RecorderState::Recording;
  bool stop = false;
  std::function<void(SimulatedHost&)> onPass;
  std::vector<Frame> frames;
  std::vector<uint32_t> sleeps;
  std::vector<size_t> sleepIndexOfFrame;
};

void RunUntilMs(SimulatedHost& host, int64_t endMs, FramePacer&& pacer = FramePacer()) {
  auto previous = host.onPass;
  host.onPass = [endMs, previous](SimulatedHost& h) {
    if (previous) previous(h);
    if (h.nowUs >= endMs * 1000) h.stop = true;
  };
  RunPacingLoop(host, pacer);
}

// An exact clock for ten seconds, and coarse sleeps with slow frames for an
// hour: every frame in its own slot of the grid, from time zero, and one
// frame per 33 ms of recorded time.
TEST(FramePacer, FramesFollowTheGridFromTimeZero) {
  for (const bool coarse : {false, true}) {
    SCOPED_TRACE(coarse ? "coarse, an hour" : "exact, ten seconds");
    SimulatedHost host;
    host.sleepOvershootUs = coarse ? 1500 : 0;
    host.frameCostUs = [coarse](size_t) { return coarse ? 12000 : 0; };
    RunUntilMs(host, coarse ? 3600000 : 10000);
    ASSERT_FALSE(host.frames.empty());
    EXPECT_EQ(host.frames[0].sampleTime, 0);
    for (size_t k = 0; k < host.frames.size(); ++k) {
      const int64_t slot = static_cast<int64_t>(k) * 33 * 10000;
      ASSERT_GE(host.frames[k].sampleTime, slot) << "frame " << k;
      // With an exact sleep the loop closes in on the slot to within a millisecond.
      if (!coarse) {
        ASSERT_LE(host.frames[k].sampleTime, slot + 10000) << "frame " << k;
      }
    }
    EXPECT_NEAR(static_cast<int64_t>(host.frames.size()), host.nowUs / 1000 / 33 + 1, 1);
  }
}

TEST(FramePacer, SlowFrameIsFollowedByOverdueFramesBackToBack) {
  SimulatedHost host;
  host.frameCostUs = [](size_t k) { return k == 10 ? 100000 : 2000; };
  RunUntilMs(host, 2000);
  // Frame 10 takes 100 ms: frames 11..13 are overdue (slots 363..429 ms).
  const int64_t afterSlow = host.frames[11].takenAtUs / 1000;
  EXPECT_GE(afterSlow, 430);
  for (size_t k = 11; k <= 13; ++k) {
    // Taken on consecutive passes with zero-length sleeps between them.
    EXPECT_EQ(host.frames[k].sleepBefore, 0u) << "frame " << k;
    EXPECT_EQ(host.sleepIndexOfFrame[k], host.sleepIndexOfFrame[k - 1] + 1) << "frame " << k;
    EXPECT_GE(host.frames[k].sampleTime, static_cast<int64_t>(k) * 33 * 10000);
  }
  // Caught up again: the loop goes back to real sleeps before frame 15.
  const auto firstSleepAfterCatchUp =
      std::max_element(host.sleeps.begin() + static_cast<long>(host.sleepIndexOfFrame[14]),
                       host.sleeps.begin() + static_cast<long>(host.sleepIndexOfFrame[15]));
  EXPECT_GT(*firstSleepAfterCatchUp, 5u);
  // Nothing was dropped.
  for (size_t k = 0; k < host.frames.size(); ++k) {
    EXPECT_GE(host.frames[k].sampleTime, static_cast<int64_t>(k) * 33 * 10000);
  }
}

TEST(FramePacer, PauseLeavesNoGapInTheTimeline) {
  for (int64_t pauseMs : {15, 250, 5000, 3600000}) {
    SimulatedHost host;
    host.frameCostUs = [](size_t) { return 3000; };
    // Paused at the first pass from 1 s on, for pauseMs from there.
    int64_t pauseAtUs = 0, resumeAtUs = INT64_MAX;
    size_t framesBeforePause = 0;
    host.onPass = [&](SimulatedHost& h) {
      if (h.state == RecorderState::Recording && h.nowUs >= 1000 * 1000 && pauseAtUs == 0) {
        h.state = RecorderState::Paused;
        pauseAtUs = h.nowUs;
        resumeAtUs = pauseAtUs + pauseMs * 1000;
        framesBeforePause = h.frames.size();
      } else if (h.state == RecorderState::Paused && h.nowUs >= resumeAtUs) {
        h.state = RecorderState::Recording;
      }
    };
    RunUntilMs(host, 1000 + pauseMs + 1000);
    ASSERT_GT(framesBeforePause, 0u);
    ASSERT_GT(host.frames.size(), framesBeforePause + 10);
    const int64_t before = host.frames[framesBeforePause - 1].sampleTime;
    const int64_t after = host.frames[framesBeforePause].sampleTime;
    EXPECT_GE(after, before) << "pause " << pauseMs;
    EXPECT_LE(after - before, 60 * 10000) << "pause " << pauseMs;  // a few tens of ms at most
    // No frame is taken while paused.
    for (const auto& f : host.frames) {
      EXPECT_FALSE(f.takenAtUs >= pauseAtUs + 20000 && f.takenAtUs < resumeAtUs) << "pause " << pauseMs;
    }
    // The grid continues after the resume: recorded time, not wall time.
    const size_t n = host.frames.size();
    EXPECT_GE(host.frames[n - 1].sampleTime, static_cast<int64_t>(n - 1) * 33 * 10000);
    EXPECT_LT(host.frames[n - 1].sampleTime, static_cast<int64_t>(n + 1) * 33 * 10000);
  }
}

TEST(FramePacer, RepeatedPausesEachLeaveOnlyAShortStep) {
  SimulatedHost host;
  host.frameCostUs = [](size_t) { return 4000; };
  // Recording in the first 100 ms of every 300 ms, paused for the rest.
  std::vector<size_t> firstFrameAfterResume;
  host.onPass = [&](SimulatedHost& h) {
    const auto wanted = (h.nowUs / 1000) % 300 < 100 ? RecorderState::Recording : RecorderState::Paused;
    if (wanted == RecorderState::Recording && h.state == RecorderState::Paused) {
      firstFrameAfterResume.push_back(h.frames.size());
    }
    h.state = wanted;
  };
  RunUntilMs(host, 30000);
  ASSERT_GT(firstFrameAfterResume.size(), 90u);
  for (size_t index : firstFrameAfterResume) {
    if (index == 0 || index >= host.frames.size()) continue;
    // Only what the loop could not see of each pause (the tail of one sleep
    // before it noticed, one 10 ms pass at the end) reaches the timeline.
    EXPECT_LE(host.frames[index].sampleTime - host.frames[index - 1].sampleTime, 33 * 10000 + 45 * 10000);
  }
  // A third of the wall time was recording; the pauses are not in it.
  const int64_t lastMs = host.frames.back().sampleTime / 10000;
  EXPECT_GE(lastMs, 9900);
  EXPECT_LE(lastMs, 10000 + 100 * 45);
  EXPECT_NEAR(static_cast<int64_t>(host.frames.size()), lastMs / 33 + 1, 2);
}

// Stopped before the first pass, or idle: no frame. The next recording on
// the same pacer starts afresh: no frame count or pause is left over.
TEST(FramePacer, StopIdleAndTheNextRecording) {
  FramePacer pacer;
  SimulatedHost stopped;
  stopped.stop = true;
  RunPacingLoop(stopped, pacer);
  EXPECT_TRUE(stopped.frames.empty());
  SimulatedHost idle;
  idle.state = RecorderState::Idle;
  RunUntilMs(idle, 100);
  EXPECT_TRUE(idle.frames.empty());

  SimulatedHost first;
  first.onPass = [](SimulatedHost& h) {
    if (h.nowUs > 400000) h.state = RecorderState::Paused;
    if (h.nowUs >= 1000000) h.stop = true;
  };
  RunPacingLoop(first, pacer);
  ASSERT_GT(first.frames.size(), 5u);
  SimulatedHost second;
  RunUntilMs(second, 200, std::move(pacer));
  ASSERT_FALSE(second.frames.empty());
  EXPECT_EQ(second.frames[0].sampleTime, 0);
  EXPECT_EQ(second.frames.size(), 200u / 33 + 1);
}

}  // namespace
