// The recording clock from counter readings of any value and frequency (a
// counter that wraps or goes back, a frequency of zero or of billions), with
// pauses at any of them, and the frame pacing and the placement of sound it
// drives, sound whose packets a device stamped with any times.
#include <vector>

#include "recorder/AudioMixer.h"
#include "recorder/FramePacer.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  int64_t counter = in.ConsumeIntegral<int64_t>();
  RecordingClock clock([&counter] { return counter; }, in.ConsumeIntegral<int64_t>());
  clock.Start();
  // Both rates pace from the same readings.
  FramePacer pacers[] = {FramePacer(30), FramePacer(60)};
  std::vector<RecordingClock::Stretch> stretches;
  TrackMixer mixer({1000, 1}, 1, clock);
  std::vector<TrackMixer::Packet> packets;
  const std::vector<int16_t> samples(4 * 255, 1);
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    counter = in.ConsumeIntegral<int64_t>();
    switch (in.ConsumeIntegral<uint8_t>() % 4) {
      case 0: clock.Pause(); break;
      case 1: clock.Resume(); break;
      case 2: if (in.ConsumeBool()) clock.End(); break;
      default: break;
    }
    const RecordingClock::Reading now = clock.Now();
    const int64_t ms = clock.Units(now.recorded, 1000);
    for (FramePacer& pacer : pacers) {
      const FramePacer::Pass plan = pacer.Plan(now.paused, ms);
      // A loop never sleeps longer than a frame, whatever the clock did.
      FUZZ_CHECK(plan.sleepMs <= pacer.FrameIntervalMs());
      FUZZ_CHECK(pacer.SleepAfterFrame(ms) <= pacer.FrameIntervalMs());
      if (plan.takeFrame) FUZZ_CHECK(plan.sampleTime >= 0);
    }

    const int64_t from = in.ConsumeIntegral<int64_t>(), to = in.ConsumeIntegral<int64_t>();
    clock.Recorded(from, to, stretches);
    // What is kept of a stretch lies inside it, in order.
    int64_t reached = 0;
    for (const RecordingClock::Stretch& s : stretches) {
      FUZZ_CHECK(s.offset >= reached && s.length > 0);
      reached = SaturatingAdd(s.offset, s.length);
    }
    clock.Ticks(in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<uint64_t>());

    packets.resize(in.ConsumeIntegral<uint8_t>() % 4);
    for (TrackMixer::Packet& packet : packets) packet = {in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint64_t>()};
    mixer.Add(0, samples.data(), packets, now);
  }
  const int64_t to = in.ConsumeIntegral<int64_t>();
  const uint64_t msSince = CounterUnits(counter, to, clock.frequency(), 1000);
  // Finer units never count fewer.
  FUZZ_CHECK(msSince >= CounterUnits(counter, to, clock.frequency(), 1));
  return 0;
}
