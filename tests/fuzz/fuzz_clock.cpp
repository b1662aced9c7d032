// The recording clock from counter readings of any value and frequency (a
// counter that wraps, a frequency of zero or of billions), the frame pacing
// it drives, and the duration the window shows from tick counts.
#include "app/StatusText.h"
#include "recorder/FramePacer.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int64_t frequency = in.ConsumeIntegral<int64_t>(), origin = in.ConsumeIntegral<int64_t>();
  FramePacer pacer;
  DurationClock clock;
  for (int pass = 0; pass < 64; ++pass) {
    const auto state = static_cast<RecorderState>(in.ConsumeIntegral<uint8_t>() % 3);
    const int64_t now = ClockMs(origin, in.ConsumeIntegral<int64_t>(), frequency);
    const FramePacer::Pass plan = pacer.Plan(state, now);
    // A loop never sleeps longer than a frame, whatever the clock did.
    FUZZ_CHECK(plan.sleepMs <= kFrameIntervalMs);
    FUZZ_CHECK(pacer.SleepAfterFrame(now) <= kFrameIntervalMs);
    if (plan.takeFrame) FUZZ_CHECK(plan.sampleTime >= 0);

    RefreshDurationClock(clock, state, in.ConsumeIntegral<uint32_t>());
    DurationOnTimer(clock, in.ConsumeIntegral<uint32_t>());
  }
  const int64_t to = in.ConsumeIntegral<int64_t>();
  const uint64_t ms = CounterUnits(origin, to, frequency, 1000), seconds = CounterUnits(origin, to, frequency, 1);
  // Finer units never count fewer.
  FUZZ_CHECK(ms >= seconds);
  return 0;
}
