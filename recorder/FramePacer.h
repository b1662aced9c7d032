#pragma once
// The video thread's timing, kept free of the platform so that it can be
// driven by a simulated clock in tests.
//
// Frames are due on a 33 ms grid of recorded time (clock time minus paused
// time). Each frame carries the recorded time of the pass that took it, not
// its grid slot. Between frames the loop sleeps nine tenths of the time left,
// then shorter and shorter, then zero-length sleeps close to the due time;
// it never raises the timer resolution. A late pass (a frame took longer than
// 33 ms) takes the overdue frames one per pass with no sleep, so nothing is
// dropped and each overdue frame is stamped with its own time.
#include <cstdint>

#include "recorder/RecorderTypes.h"

constexpr int64_t kFrameIntervalMs = 33;

// The time between two readings of a counter that runs at `frequency` ticks
// a second, in units of which there are `perSecond` in a second, rounded
// down: 0 when the counter went backwards (it wrapped) or the frequency is
// not positive, and the largest value rather than one that overflowed.
uint64_t CounterUnits(int64_t from, int64_t to, int64_t frequency, uint64_t perSecond);

// The recording clock in milliseconds from two counter readings, capped at
// kMaxClockMs (some 8,900 years), which keeps every sum and product of the
// pacing far inside 64 bits.
constexpr int64_t kMaxClockMs = int64_t{1} << 48;
int64_t ClockMs(int64_t from, int64_t to, int64_t frequency);
// How often a paused or stopping loop looks again.
constexpr uint32_t kIdlePassSleepMs = 10;

class FramePacer {
 public:
  struct Pass {
    bool takeFrame = false;
    int64_t sampleTime = 0;  // 100-ns units, valid when takeFrame
    uint32_t sleepMs = 0;
  };

  // Start of a recording: no frame taken, no pause seen.
  void Reset();

  // Plans one pass of the loop for the state read at its start and the
  // recording clock in milliseconds.
  Pass Plan(RecorderState state, int64_t nowMs);

  // The sleep after a frame, from the clock read once the frame is taken:
  // the frame's own cost is not slept again on top of it.
  uint32_t SleepAfterFrame(int64_t nowMs) const;

 private:
  Pass PlanRecording(int64_t nowMs);
  int64_t RecordedMs(int64_t nowMs) const { return nowMs - totalPauseMs_ - currentPauseMs_; }
  uint32_t SleepUntilNextFrame(int64_t recordedMs) const;
  Pass PlanPaused(int64_t nowMs);

  uint64_t frames_ = 0;
  // Clock reading when the current pause was first seen; 0 until then.
  int64_t pauseStartMs_ = 0;
  int64_t currentPauseMs_ = 0;
  int64_t totalPauseMs_ = 0;
};

// What the loop needs from its surroundings; the engine supplies the real
// clock, Sleep and frame capture, tests a simulated world.
class PacingHost {
 public:
  virtual ~PacingHost() = default;
  virtual RecorderState State() = 0;
  virtual bool StopRequested() = 0;
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  virtual void TakeFrame(int64_t sampleTime) = 0;
};

// The whole life of the video thread: passes until a stop is requested.
void RunPacingLoop(PacingHost& host, FramePacer& pacer);
