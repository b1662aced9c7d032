#pragma once
// The video thread's timing, kept free of the platform so that it can be
// driven by a simulated clock in tests.
//
// Frames are due on a grid of recorded time (the recording clock, which
// leaves the pauses out): every 33 ms at 30 frames a second; at 60, frame n
// is due at exactly n * 1000 / 60 ms, so that no rounding adds up. Each frame
// carries the recorded time of the pass that took it, not its grid slot.
// Between frames the loop sleeps nine tenths of the time left, then shorter
// and shorter, then zero-length sleeps close to the due time; it never
// raises the timer resolution. A late pass (a frame took longer than its
// slot) takes the overdue frames one per pass with no sleep, so nothing is
// dropped and each overdue frame is stamped with its own time.
#include <cstdint>

#include "recorder/RecordingClock.h"

// The grid at 30 frames a second, and the longest sleep of any grid.
constexpr int64_t kFrameIntervalMs = 33;
// Recorded times beyond this (some 8,900 years) are held here, which keeps
// every sum and product of the pacing far inside 64 bits.
constexpr int64_t kMaxClockMs = int64_t{1} << 48;
// How often a paused or stopping loop looks again.
constexpr uint32_t kIdlePassSleepMs = 10;

class FramePacer {
 public:
  // 30 or 60 (SupportedFrameRate).
  explicit FramePacer(uint32_t framesPerSecond = 30);

  struct Pass {
    bool takeFrame = false;
    int64_t sampleTime = 0;  // 100-ns units, valid when takeFrame
    uint32_t sleepMs = 0;
  };

  // Plans one pass of the loop from the recording clock: its recorded
  // milliseconds, or a pause.
  Pass Plan(bool paused, int64_t recordedMs);

  // The sleep after a frame, from the clock read once the frame is taken:
  // the frame's own cost is not slept again on top of it.
  uint32_t SleepAfterFrame(int64_t recordedMs) const;

  // A slot of the grid, in whole milliseconds rounded up: no sleep is longer.
  uint32_t FrameIntervalMs() const;

 private:
  // The time left until frame `frames_` is due, in 1/slotParts_ ms.
  int64_t Remaining(int64_t recordedMs) const;

  // Frame n is due at n * slotMs_ / slotParts_ ms.
  int64_t slotMs_;
  int64_t slotParts_;
  uint64_t frames_ = 0;
};

// What the loop needs from its surroundings besides the clock; the engine
// supplies Sleep and frame capture, tests a simulated world.
class PacingHost {
 public:
  virtual ~PacingHost() = default;
  virtual bool StopRequested() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  virtual void TakeFrame(int64_t sampleTime) = 0;
};

// The whole life of the video thread: passes until a stop is requested.
void RunPacingLoop(const RecordingClock& clock, PacingHost& host, uint32_t framesPerSecond = 30);
