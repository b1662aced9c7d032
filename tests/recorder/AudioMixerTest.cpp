#include "recorder/AudioMixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A low rate keeps two simulated hours quick; nothing in the mixer depends on it.
constexpr uint32_t kRate = 8000;
constexpr uint32_t kPacket = 80;  // 10 ms of the device's own clock
constexpr int kMarkers = 30000;

// A simulated device: 10 ms packets on a clock `ppm` off the recording
// clock, stamped with their capture times (up to 1 ms off) and delivered
// 20 ms after their last frame. Its frames carry the number of their packet
// (plus one, so never 0) on its own channel of a stereo track, the other
// channel 0. It delivers from `fromMs`, but nothing from `untilMs` until
// `backMs`.
struct Device {
  double ppm;
  int channel;
  double fromMs = 0, untilMs = 1e18, backMs = 1e18;
  uint64_t packets = 0;
  double DeviceRate() const { return kRate * (1 + ppm * 1e-6); }
  double CapturedMs(uint64_t packet) const { return fromMs + packet * kPacket * 1000.0 / DeviceRate(); }
  // Which packet the frame at recording time `ms` should hold.
  int64_t PacketAt(double ms) const { return static_cast<int64_t>((ms - fromMs) * DeviceRate() / 1000 / kPacket); }
};

// Runs the audio thread's passes (every 8 ms of the recording clock) up to
// `endMs`, then mixes to the end as a stop does; every mixed frame goes to
// `check(frame, left, right)`.
template <typename Check>
void Simulate(AudioMixer& mixer, std::vector<Device>& devices, double endMs, Check check) {
  std::vector<int16_t> packet(kPacket * 2), out;
  uint64_t frame = 0;
  auto take = [&](uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i, ++frame) check(frame, out[2 * i], out[2 * i + 1]);
  };
  unsigned jitter = 12345;
  for (double now = 8; now < endMs; now += 8) {
    for (size_t s = 0; s < devices.size(); ++s) {
      Device& d = devices[s];
      for (; d.CapturedMs(d.packets + 1) + 20 <= now; ++d.packets) {
        if (d.CapturedMs(d.packets) >= d.untilMs && d.CapturedMs(d.packets) < d.backMs) continue;
        std::fill(packet.begin(), packet.end(), int16_t{0});
        for (uint32_t i = 0; i < kPacket; ++i) {
          packet[2 * i + d.channel] = static_cast<int16_t>(1 + d.packets % kMarkers);
        }
        jitter = jitter * 1103515245 + 12345;
        const double stampMs = d.CapturedMs(d.packets) + (static_cast<double>(jitter >> 16 & 0xff) / 128.0 - 1.0);
        mixer.Add(s, packet.data(), kPacket, static_cast<int64_t>(std::llround(stampMs * kRate / 1000.0)));
      }
    }
    const int64_t due = static_cast<int64_t>(now * kRate / 1000) - kRate * kMixDelayMs / 1000;
    if (due > 0) take(mixer.MixUntil(static_cast<uint64_t>(due), out));
    // The other source never waits: the track is mixed up to the delay.
    ASSERT_GE(mixer.MixedFrames() + kRate / 100, static_cast<uint64_t>(std::max<int64_t>(due, 0)));
  }
  take(mixer.MixUntil(static_cast<uint64_t>(endMs * kRate / 1000), out));
}

// Where each frame of a source's channel is placed, against where its
// capture times say it belongs: the worst distance, and silent frames.
struct Placement {
  double worstMs = 0;
  uint64_t silent = 0;
  void Check(const Device& d, uint64_t frame, int16_t value) {
    if (value == 0) ++silent;
    if (value == 0 || frame % 16 != 0) return;  // placement looked at now and then
    const double ms = frame * 1000.0 / kRate;
    const int64_t expected = d.PacketAt(ms) % kMarkers;
    int64_t diff = (value - 1) - expected;
    if (diff > kMarkers / 2) diff -= kMarkers;
    if (diff < -kMarkers / 2) diff += kMarkers;
    worstMs = std::max(worstMs, std::abs(static_cast<double>(diff)) * 10.0);
  }
};

TEST(AudioMixer, DriftingClocksAreFollowedWithoutSilenceForHours) {
  std::vector<Device> devices = {{+300, 0}, {-300, 1}};
  AudioMixer mixer({kRate, 2}, 2);
  Placement fast, slow;
  const double twoHoursMs = 2 * 3600 * 1000.0;
  Simulate(mixer, devices, twoHoursMs, [&](uint64_t frame, int16_t left, int16_t right) {
    if (frame < kRate / 10 || frame + kRate / 2 > twoHoursMs * kRate / 1000) return;  // before the first packet, after the last
    fast.Check(devices[0], frame, left);
    slow.Check(devices[1], frame, right);
  });
  EXPECT_EQ(fast.silent, 0u);
  EXPECT_EQ(slow.silent, 0u);
  // Within a packet (10 ms) and the tolerance of the clock; 100 ms is the
  // most anyone would let the sound run from the picture.
  EXPECT_LE(fast.worstMs, 20.0);
  EXPECT_LE(slow.worstMs, 20.0);
  // 300 ppm of two hours: 17,280 frames either way.
  EXPECT_NEAR(static_cast<double>(mixer.CorrectionsOf(0).dropped), 17280, 200);
  EXPECT_NEAR(static_cast<double>(mixer.CorrectionsOf(1).repeated), 17280, 200);
  EXPECT_EQ(mixer.CorrectionsOf(0).repeated + mixer.CorrectionsOf(1).dropped + mixer.CorrectionsOf(0).placed +
                mixer.CorrectionsOf(1).placed, 0u);
}

// A source silent from the start, one that starts late, one that stops for
// a second and a half and comes back (the system played nothing, or the
// device was plugged in again): each is silence only while it delivers
// nothing, the others go on, and a packet after a silence is placed where it
// was captured.
TEST(AudioMixer, SourceThatDeliversNothingIsSilenceForItselfOnly) {
  std::vector<Device> devices = {{0, 0, 0, 3000, 4500}, {50, 1, 1500}};
  AudioMixer mixer({kRate, 2}, 3);  // the third source never delivers
  Placement first, second;
  uint64_t secondFrom = UINT64_MAX, heardInTheGap = 0;
  constexpr uint64_t kMs = kRate / 1000;
  // Looked at up to 40 ms before the end, and 1 ms (the stamps' error) off
  // each change; the last packets are still on their way at the end.
  Simulate(mixer, devices, 6000, [&](uint64_t frame, int16_t left, int16_t right) {
    if (right != 0 && secondFrom == UINT64_MAX) secondFrom = frame;
    if (frame >= 3001 * kMs && frame < 4499 * kMs) heardInTheGap += left != 0;
    if (frame >= 10 * kMs && frame < 5960 * kMs && (frame < 2999 * kMs || frame >= 4501 * kMs)) {
      first.Check(devices[0], frame, left);
    }
    if (frame >= 1510 * kMs && frame < 5960 * kMs) second.Check(devices[1], frame, right);
  });
  EXPECT_EQ(first.silent, 0u);
  EXPECT_EQ(heardInTheGap, 0u);
  EXPECT_LE(first.worstMs, 10.0);
  EXPECT_EQ(mixer.CorrectionsOf(0).placed, 1u);
  EXPECT_NEAR(static_cast<double>(secondFrom / kMs), 1500, 2);
  EXPECT_EQ(second.silent, 0u);
  EXPECT_LE(second.worstMs, 10.0);
}

TEST(AudioMixer, SumsSaturateAndALatePacketLosesOnlyWhatIsPast) {
  AudioMixer mixer({kRate, 1}, 3);
  const std::vector<int16_t> high(50, 30000), low(50, -30000), small(100, 5);
  std::vector<int16_t> out;
  for (size_t s : {0, 1}) {
    mixer.Add(s, high.data(), 50, 0);
    mixer.Add(s, low.data(), 50, 50);
  }
  ASSERT_EQ(mixer.MixUntil(100, out), 100u);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[99], -32768);
  // Mixed up to 100 already: of a first packet captured from 80 to 180,
  // 80 to 99 is lost, and the rest is where it was captured.
  mixer.Add(2, small.data(), 100, 80);
  mixer.Add(0, nullptr, 100, 100);
  ASSERT_EQ(mixer.MixUntil(200, out), 100u);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[79], 5);
  EXPECT_EQ(out[80], 0);
  EXPECT_EQ(mixer.MixUntil(150, out), 0u);
}

}  // namespace
