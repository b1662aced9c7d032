#include "recorder/FramePacer.h"

#include "recorder/VideoFormat.h"

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
  const int64_t remaining = static_cast<int64_t>(frames_) * kFrameIntervalMs - recordedMs;
  return remaining > 1 ? static_cast<uint32_t>(remaining * 9 / 10) : 0;
}

FramePacer::Pass FramePacer::PlanPaused(int64_t nowMs) {
  if (pauseStartMs_ == 0) {
    pauseStartMs_ = nowMs;
  } else {
    currentPauseMs_ = nowMs - pauseStartMs_;
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
