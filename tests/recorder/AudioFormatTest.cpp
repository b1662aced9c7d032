#include "recorder/AudioFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(float value) {
  std::vector<uint8_t> b(4);
  std::memcpy(b.data(), &value, 4);
  return b;
}
std::vector<uint8_t> Bytes(int32_t value, int width) {
  std::vector<uint8_t> b(static_cast<size_t>(width));
  for (int i = 0; i < width; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
  return b;
}

TEST(AudioFormat, ConversionTable) {
  // Floats: clamped to [-1, 1], times 32767, truncated toward zero.
  EXPECT_EQ(ConvertSample(Bytes(1.5f).data(), true, 32), 32767);
  EXPECT_EQ(ConvertSample(Bytes(-1.5f).data(), true, 32), -32767);
  EXPECT_EQ(ConvertSample(Bytes(0.5f).data(), true, 32), 16383);
  EXPECT_EQ(ConvertSample(Bytes(-0.5f).data(), true, 32), -16383);
  EXPECT_EQ(ConvertSample(Bytes(std::nanf("")).data(), true, 32), 0);
  EXPECT_EQ(ConvertSample(Bytes(0.5f).data(), true, 64), 0);  // other float widths: silence
  EXPECT_EQ(ConvertSample(Bytes(-12345, 2).data(), false, 16), -12345);
  // 32-bit: the upper half, sign kept, the lower half dropped without rounding.
  EXPECT_EQ(ConvertSample(Bytes(0x1234FFFF, 4).data(), false, 32), 0x1234);
  EXPECT_EQ(ConvertSample(Bytes(-0x12345678, 4).data(), false, 32), -0x1235);
  // 24-bit: the upper 16 bits (was silence).
  EXPECT_EQ(ConvertSample(Bytes(-0x123456, 3).data(), false, 24), -0x1235);
  EXPECT_EQ(ConvertSample(Bytes(0x7FFFFF, 3).data(), false, 24), 32767);
  EXPECT_EQ(ConvertSample(Bytes(-0x800000, 3).data(), false, 24), -32768);
  // 8-bit unsigned: re-centred and scaled (was silence).
  EXPECT_EQ(ConvertSample(Bytes(255, 1).data(), false, 8), 32512);
  EXPECT_EQ(ConvertSample(Bytes(0, 1).data(), false, 8), -32768);
  EXPECT_EQ(ConvertSample(Bytes(0x7FFF, 2).data(), false, 12), 0);
}

// Only what the conversion reads is recorded: a frame shorter than its
// samples would read past the packet.
TEST(AudioFormat, KnownLayouts) {
  const struct {
    uint16_t tag;
    uint32_t sub;
    AudioLayout layout;
    bool known;
  } cases[] = {
      {3, 0, {2, 2, 32, true, 8}, true},        {0xFFFE, 3, {8, 2, 32, true, 32}, true},
      {1, 0, {1, 1, 24, false, 3}, true},       {0xFFFE, 1, {2, 2, 24, false, 8}, true},  // 24 in 32-bit slots
      {1, 0, {2, 2, 8, false, 2}, true},        {1, 0, {2, 2, 16, false, 2}, false},      // block shorter than a frame
      {3, 0, {2, 2, 64, true, 16}, false},      {1, 0, {2, 2, 12, false, 4}, false},
      {0xFFFE, 2, {2, 2, 16, false, 4}, false},  // an unknown sub-format
      {2, 0, {2, 2, 4, false, 1}, false},        // ADPCM
      {1, 0, {0, 1, 16, false, 0}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsKnownLayout(c.tag, c.sub, c.layout), c.known)
        << c.tag << " " << c.layout.channels << "x" << c.layout.bitsPerSample << " in " << c.layout.blockAlign;
  }
  // Frames padded beyond their samples are read block by block.
  const int16_t padded[] = {1, 2, 99, 3, 4, 99};
  std::vector<int16_t> out(4);
  ConvertPacket(reinterpret_cast<const uint8_t*>(padded), 2, AudioLayout{2, 2, 16, false, 6}, out.data());
  EXPECT_EQ(out, (std::vector<int16_t>{1, 2, 3, 4}));
}

// Surround is mixed down as a listener expects: each channel alone, at
// 10,000, comes out where its speaker stands (-3 dB is 7,071), the LFE
// nowhere, in a stereo track and in a mono one.
TEST(AudioFormat, SurroundIsMixedDownChannelByChannel) {
  const struct {
    uint32_t channels, mask;
    std::vector<std::vector<int16_t>> stereo;  // each channel's (left, right)
  } cases[] = {
      // 5.1 by its mask, and by its count alone: FL FR FC LFE BL BR.
      {6, 0x3F, {{10000, 0}, {0, 10000}, {7071, 7071}, {0, 0}, {7071, 0}, {0, 7071}}},
      {6, 0, {{10000, 0}, {0, 10000}, {7071, 7071}, {0, 0}, {7071, 0}, {0, 7071}}},
      // 7.1: the side pair as well.
      {8, 0, {{10000, 0}, {0, 10000}, {7071, 7071}, {0, 0}, {7071, 0}, {0, 7071}, {7071, 0}, {0, 7071}}},
      {4, 0, {{10000, 0}, {0, 10000}, {7071, 0}, {0, 7071}}},  // quad
      {3, 0x3, {{10000, 0}, {0, 10000}, {0, 0}}},              // a channel with no speaker
      {2, 0, {{10000, 0}, {0, 10000}}},
  };
  for (const auto& c : cases) {
    for (uint32_t alone = 0; alone < c.channels; ++alone) {
      std::vector<int16_t> frame(c.channels, 0), stereo(2), mono(1);
      frame[alone] = 10000;
      const AudioLayout layout{c.channels, 2, 16, false, c.channels * 2, c.mask};
      ConvertPacket(reinterpret_cast<const uint8_t*>(frame.data()), 1, layout, stereo.data());
      EXPECT_EQ(stereo, c.stereo[alone]) << c.channels << " channels, mask " << c.mask << ", channel " << alone;
      ConvertPacket(reinterpret_cast<const uint8_t*>(frame.data()), 1, AudioLayout{c.channels, 1, 16, false, c.channels * 2, c.mask},
                    mono.data());
      EXPECT_EQ(mono[0], (c.stereo[alone][0] + c.stereo[alone][1] + 1) / 2) << c.channels << " channels, " << alone;
    }
  }
  // Loud on every channel: saturated, not wrapped.
  const std::vector<int16_t> loud(6, -30000);
  std::vector<int16_t> saturated(2);
  ConvertPacket(reinterpret_cast<const uint8_t*>(loud.data()), 1, AudioLayout{6, 2, 16, false, 12}, saturated.data());
  EXPECT_EQ(saturated, (std::vector<int16_t>{-32768, -32768}));

  // A mono device's float samples, in a mono track and on both sides of a
  // stereo one.
  const float mono[] = {0.5f, -1.0f, 2.0f};
  std::vector<int16_t> out(3), both(6);
  ConvertPacket(reinterpret_cast<const uint8_t*>(mono), 3, AudioLayout{1, 1, 32, true, 4}, out.data());
  EXPECT_EQ(out, (std::vector<int16_t>{16383, -32767, 32767}));
  ConvertPacket(reinterpret_cast<const uint8_t*>(mono), 3, AudioLayout{1, 2, 32, true, 4}, both.data());
  EXPECT_EQ(both, (std::vector<int16_t>{16383, 16383, -32767, -32767, 32767, 32767}));

  std::vector<int16_t> silent(960, 7);
  ConvertPacket(nullptr, 480, AudioLayout{2, 2, 32, true}, silent.data());
  EXPECT_EQ(silent, std::vector<int16_t>(960, 0));
}

// The track runs at the highest rate among its sources: a 16 kHz headset
// beside 48 kHz speakers takes neither down.
TEST(AudioFormat, TrackTakesTheHighestRateAndTheMostChannels) {
  const struct {
    std::vector<SourceFormat> sources;
    uint32_t rate, channels;
  } cases[] = {
      {{{16000, 1}, {48000, 2}}, 48000, 2}, {{{48000, 2}, {16000, 1}}, 48000, 2}, {{{16000, 1}, {44100, 1}}, 44100, 1},
      {{{96000, 6}}, 96000, 2},             {{}, 0, 0},
  };
  for (const auto& c : cases) {
    const AudioTrackFormat track = TrackFormatFor(c.sources);
    EXPECT_EQ(track.sampleRate, c.rate);
    EXPECT_EQ(track.channels, c.channels);
  }
}

TEST(AudioFormat, PacketTimes) {
  EXPECT_EQ(AudioPacketTiming(44100, 441, 44100).time, 10000000);
  // Truncated, not rounded: one frame at 44.1 kHz is 226.757... units, and
  // lasts to the next one's time.
  EXPECT_EQ(AudioPacketTiming(1, 1, 44100).time, 226);
  EXPECT_EQ(AudioPacketTiming(1, 1, 44100).duration, 227);
  // Stretches abut exactly however they are cut.
  uint64_t written = 0;
  int64_t end = 0;
  for (uint32_t frames : {441u, 7u, 1000u, 3u, 44100u}) {
    const AudioPacketTime t = AudioPacketTiming(written, frames, 44100);
    EXPECT_EQ(t.time, end);
    written += frames;
    end = t.time + t.duration;
  }
  EXPECT_EQ(AudioPacketTiming(0, 1, 0).duration, 0);  // no rate, no division
}

}  // namespace
