#include "recorder/FramePacer.h"

#include "recorder/VideoFormat.h"

namespace {

int64_t Held(int64_t ms) { return ms > kMaxClockMs ? kMaxClockMs : ms < -kMaxClockMs ? -kMaxClockMs : ms; }

}  // namespace

// 30 keeps the 33 ms grid it has always had; other rates are exact fractions.
FramePacer::FramePacer(uint32_t framesPerSecond)
    : slotMs_(framesPerSecond == 30 || framesPerSecond == 0 ? kFrameIntervalMs : 1000),
      slotParts_(framesPerSecond == 30 || framesPerSecond == 0 ? 1 : framesPerSecond) {}

uint32_t FramePacer::FrameIntervalMs() const { return static_cast<uint32_t>((slotMs_ + slotParts_ - 1) / slotParts_); }

int64_t FramePacer::Remaining(int64_t recordedMs) const {
  return static_cast<int64_t>(frames_) * slotMs_ - Held(recordedMs) * slotParts_;
}

FramePacer::Pass FramePacer::Plan(bool paused, int64_t recordedMs) {
  if (paused) return Pass{false, 0, kIdlePassSleepMs};
  Pass pass;
  const int64_t recorded = Held(recordedMs);
  if (Remaining(recorded) <= 0) {
    pass.takeFrame = true;
    pass.sampleTime = recorded * kMediaTicksPerMs;
    ++frames_;
  }
  pass.sleepMs = SleepAfterFrame(recorded);
  return pass;
}

// Nine tenths of the time left until the next frame is due, so that the loop
// closes in on it with ever shorter sleeps instead of overshooting it on a
// coarse timer. Never more than a frame's time: a clock that went back must
// not put the loop to sleep for as long as it went back.
uint32_t FramePacer::SleepAfterFrame(int64_t recordedMs) const {
  const int64_t remaining = Remaining(recordedMs);
  if (remaining <= slotParts_) return 0;
  return static_cast<uint32_t>((remaining < slotMs_ ? remaining : slotMs_) * 9 / (10 * slotParts_));
}

void RunPacingLoop(const RecordingClock& clock, PacingHost& host, uint32_t framesPerSecond) {
  FramePacer pacer(framesPerSecond);
  auto recordedMs = [&clock](const RecordingClock::Reading& now) { return clock.Units(now.recorded, 1000); };
  if (host.StopRequested()) return;
  do {
    const RecordingClock::Reading now = clock.Now();
    const FramePacer::Pass pass = pacer.Plan(now.paused, recordedMs(now));
    uint32_t sleepMs = pass.sleepMs;
    if (pass.takeFrame) {
      host.TakeFrame(pass.sampleTime);
      sleepMs = pacer.SleepAfterFrame(recordedMs(clock.Now()));
    }
    host.SleepMs(sleepMs);
  } while (!host.StopRequested());
}
