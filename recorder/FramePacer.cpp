#include "recorder/FramePacer.h"

#include "recorder/VideoFormat.h"

uint64_t CounterUnits(int64_t from, int64_t to, int64_t frequency, uint64_t perSecond) {
  if (frequency <= 0 || to <= from) return 0;
  const uint64_t ticks = static_cast<uint64_t>(to) - static_cast<uint64_t>(from);
  const uint64_t rate = static_cast<uint64_t>(frequency);
  const uint64_t whole = ticks / rate;
  if (perSecond != 0 && whole > UINT64_MAX / perSecond) return UINT64_MAX;
  // The part-second: less than perSecond units, exact enough in a double.
  const auto part = static_cast<uint64_t>(static_cast<double>(ticks % rate) * static_cast<double>(perSecond) /
                                          static_cast<double>(rate));
  const uint64_t units = whole * perSecond;
  return units > UINT64_MAX - part ? UINT64_MAX : units + part;
}

int64_t ClockMs(int64_t from, int64_t to, int64_t frequency) {
  const uint64_t ms = CounterUnits(from, to, frequency, 1000);
  return ms > static_cast<uint64_t>(kMaxClockMs) ? kMaxClockMs : static_cast<int64_t>(ms);
}

void FramePacer::Reset() { *this = FramePacer{}; }

FramePacer::Pass FramePacer::Plan(RecorderState state, int64_t nowMs) {
  switch (state) {
    case RecorderState::Recording:
      return PlanRecording(nowMs);
    case RecorderState::Paused:
      return PlanPaused(nowMs);
    default:
      return Pass{false, 0, kIdlePassSleepMs};
  }
}

FramePacer::Pass FramePacer::PlanRecording(int64_t nowMs) {
  // Resume only flips the state; the pause is folded here, on the one thread
  // that measures it, so the fold can never interleave with a measurement.
  if (pauseStartMs_ != 0) {
    totalPauseMs_ += currentPauseMs_;
    currentPauseMs_ = 0;
    pauseStartMs_ = 0;
  }
  Pass pass;
  const int64_t recorded = RecordedMs(nowMs);
  if (recorded >= static_cast<int64_t>(frames_) * kFrameIntervalMs) {
    pass.takeFrame = true;
    pass.sampleTime = recorded * kMediaTicksPerMs;
    ++frames_;
  }
  pass.sleepMs = SleepUntilNextFrame(recorded);
  return pass;
}

uint32_t FramePacer::SleepAfterFrame(int64_t nowMs) const { return SleepUntilNextFrame(RecordedMs(nowMs)); }

uint32_t FramePacer::SleepUntilNextFrame(int64_t recordedMs) const {
  // Nine tenths of the time left, so that the loop closes in on the due time
  // with ever shorter sleeps instead of overshooting it on a coarse timer.
  // Never more than a frame's time: a clock that went back must not put the
  // loop to sleep for as long as it went back.
  const int64_t remaining = static_cast<int64_t>(frames_) * kFrameIntervalMs - recordedMs;
  return remaining > 1 ? static_cast<uint32_t>((remaining < kFrameIntervalMs ? remaining : kFrameIntervalMs) * 9 / 10) : 0;
}

FramePacer::Pass FramePacer::PlanPaused(int64_t nowMs) {
  if (pauseStartMs_ == 0) {
    pauseStartMs_ = nowMs;
  } else {
    // A clock that went back during the pause makes it no pause, never a
    // negative one, which would move the recording's time ahead.
    currentPauseMs_ = nowMs > pauseStartMs_ ? nowMs - pauseStartMs_ : 0;
  }
  return Pass{false, 0, kIdlePassSleepMs};
}

void RunPacingLoop(PacingHost& host, FramePacer& pacer) {
  pacer.Reset();
  if (host.StopRequested()) return;
  do {
    const RecorderState state = host.State();
    const int64_t now = state == RecorderState::Idle ? 0 : host.NowMs();
    const FramePacer::Pass pass = pacer.Plan(state, now);
    uint32_t sleepMs = pass.sleepMs;
    if (pass.takeFrame) {
      host.TakeFrame(pass.sampleTime);
      sleepMs = pacer.SleepAfterFrame(host.NowMs());
    }
    host.SleepMs(sleepMs);
  } while (!host.StopRequested());
}
