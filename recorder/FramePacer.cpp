#include "recorder/FramePacer.h"

#include "recorder/VideoFormat.h"

namespace {

int64_t Held(int64_t ms) { return ms > kMaxClockMs ? kMaxClockMs : ms < -kMaxClockMs ? -kMaxClockMs : ms; }

// Nine tenths of the time left until frame `frames` is due, so that the loop
// closes in on it with ever shorter sleeps instead of overshooting it on a
// coarse timer. Never more than a frame's time: a clock that went back must
// not put the loop to sleep for as long as it went back.
uint32_t SleepUntil(uint64_t frames, int64_t recordedMs) {
  const int64_t remaining = static_cast<int64_t>(frames) * kFrameIntervalMs - Held(recordedMs);
  return remaining > 1 ? static_cast<uint32_t>((remaining < kFrameIntervalMs ? remaining : kFrameIntervalMs) * 9 / 10)
                       : 0;
}

}  // namespace

FramePacer::Pass FramePacer::Plan(bool paused, int64_t recordedMs) {
  if (paused) return Pass{false, 0, kIdlePassSleepMs};
  Pass pass;
  const int64_t recorded = Held(recordedMs);
  if (recorded >= static_cast<int64_t>(frames_) * kFrameIntervalMs) {
    pass.takeFrame = true;
    pass.sampleTime = recorded * kMediaTicksPerMs;
    ++frames_;
  }
  pass.sleepMs = SleepUntil(frames_, recorded);
  return pass;
}

uint32_t FramePacer::SleepAfterFrame(int64_t recordedMs) const { return SleepUntil(frames_, recordedMs); }

void RunPacingLoop(const RecordingClock& clock, PacingHost& host) {
  FramePacer pacer;
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
