#include "recorder/AudioFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>


namespace {
constexpr uint16_t kWaveFormatIeeeFloat = 3;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
}  // namespace

uint32_t OutputChannelsFor(uint32_t deviceChannels) { return deviceChannels < 2 ? 1 : 2; }

AudioTrackFormat TrackFormatFor(const std::vector<SourceFormat>& sources) {
  AudioTrackFormat track;
  for (const SourceFormat& source : sources) {
    track.sampleRate = (std::max)(track.sampleRate, source.sampleRate);
    track.channels = (std::max)(track.channels, OutputChannelsFor(source.channels));
  }
  return track;
}

bool IsFloatFormat(uint16_t formatTag, uint32_t subFormatFirstField) {
  return formatTag == kWaveFormatIeeeFloat ||
         (formatTag == kWaveFormatExtensible && subFormatFirstField == kWaveFormatIeeeFloat);
}

bool IsKnownLayout(uint16_t formatTag, uint32_t subFormatFirstField, const AudioLayout& layout) {
  constexpr uint16_t kWaveFormatPcm = 1;
  const uint32_t sampleFormat = formatTag == kWaveFormatExtensible ? subFormatFirstField : formatTag;
  const uint32_t bits = layout.bitsPerSample;
  const bool known = sampleFormat == kWaveFormatIeeeFloat
                         ? bits == 32
                         : sampleFormat == kWaveFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  return known && layout.channels >= 1 && layout.outputChannels <= 2 &&
         static_cast<uint64_t>(layout.channels) * (bits / 8) <= layout.blockAlign;
}

int16_t ConvertSample(const uint8_t* sample, bool isFloat, uint32_t bitsPerSample) {
  if (isFloat) {
    if (bitsPerSample != 32) return 0;
    float value;
    std::memcpy(&value, sample, sizeof value);
    if (!(value >= -1.0f)) value = value != value ? 0.0f : -1.0f;  // NaN is silence
    if (value > 1.0f) value = 1.0f;
    return static_cast<int16_t>(value * 32767.0f);  // truncated toward zero
  }
  switch (bitsPerSample) {
    case 16: {
      int16_t value;
      std::memcpy(&value, sample, sizeof value);
      return value;
    }
    case 32:
      // The upper half of the little-endian sample, sign kept.
      return static_cast<int16_t>(static_cast<uint16_t>(sample[2] | sample[3] << 8));
    case 24:
      // Likewise the upper 16 of 24 bits. (24- and 8-bit devices are
      // converted rather than written as silence: their users would record
      // nothing otherwise.)
      return static_cast<int16_t>(static_cast<uint16_t>(sample[1] | sample[2] << 8));
    case 8:
      // Unsigned, centred on 128.
      return static_cast<int16_t>((static_cast<int>(sample[0]) - 128) * 256);
    default:
      return 0;
  }
}

uint32_t AudioPayloadBytes(uint32_t outputChannels, uint32_t frames) { return outputChannels * frames * 2; }

namespace {

// Speaker positions, as dwChannelMask has them.
constexpr uint32_t kFrontLeft = 0x1, kFrontRight = 0x2;
constexpr uint32_t kLeftSide = 0x10 | 0x40 | 0x200 | 0x1000 | 0x8000;     // back, of centre, side, top front, top back
constexpr uint32_t kRightSide = 0x20 | 0x80 | 0x400 | 0x4000 | 0x20000;
constexpr uint32_t kMiddle = 0x4 | 0x100 | 0x800 | 0x2000 | 0x10000;     // centre, back, top, top front, top back
constexpr float kMinus3dB = 0.70710678f;

// What a device without a mask means by that many channels: 5.1 for six,
// 7.1 for eight.
uint32_t UsualMask(uint32_t channels) {
  static const uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
  return channels < 9 ? masks[channels] : kFrontLeft | kFrontRight;
}

// A channel that reaches the track, and its share of each side.
struct Tap {
  uint32_t channel;
  float left, right;
};

// At most one tap per speaker position: channels past the mask's speakers
// (and the LFE) have nowhere to go.
size_t DownmixTaps(const AudioLayout& layout, Tap (&taps)[32]) {
  if (layout.channels == 1) {
    taps[0] = {0, 1.0f, 1.0f};
    return 1;
  }
  const uint32_t mask = layout.channelMask ? layout.channelMask : UsualMask(layout.channels);
  size_t count = 0;
  uint32_t channel = 0;
  for (uint32_t bit = 1; bit != 0 && channel < layout.channels; bit <<= 1) {
    if (!(mask & bit)) continue;
    const float left = bit == kFrontLeft ? 1.0f : (bit & (kLeftSide | kMiddle)) ? kMinus3dB : 0.0f;
    const float right = bit == kFrontRight ? 1.0f : (bit & (kRightSide | kMiddle)) ? kMinus3dB : 0.0f;
    if (left != 0.0f || right != 0.0f) taps[count++] = {channel, left, right};
    ++channel;
  }
  return count;
}

int16_t Saturated(float value) {
  if (value <= -32768.0f) return -32768;
  if (value >= 32767.0f) return 32767;
  return static_cast<int16_t>(std::floor(value + 0.5f));
}

}  // namespace

void ConvertPacket(const uint8_t* data, uint32_t frames, const AudioLayout& layout, int16_t* out) {
  const uint32_t count = layout.outputChannels * frames;
  if (count == 0) return;  // nothing to write, and `out` may be null
  if (!data) {
    std::memset(out, 0, count * sizeof(int16_t));
    return;
  }
  Tap taps[32];
  const size_t tapCount = DownmixTaps(layout, taps);
  const uint32_t bytesPerSample = layout.bitsPerSample / 8;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t* frame = data + static_cast<size_t>(i) * layout.blockAlign;
    // Summed in 16-bit units: a lone channel at full share comes out exactly
    // as it went in.
    float left = 0.0f, right = 0.0f;
    for (size_t t = 0; t < tapCount; ++t) {
      const float sample = ConvertSample(frame + taps[t].channel * bytesPerSample, layout.isFloat, layout.bitsPerSample);
      left += taps[t].left * sample;
      right += taps[t].right * sample;
    }
    if (layout.outputChannels == 1) {
      out[i] = Saturated((left + right) * 0.5f);
    } else {
      out[2 * i] = Saturated(left);
      out[2 * i + 1] = Saturated(right);
    }
  }
}

namespace {
// Media time of a frame count; past what a media time can hold (some 29,000
// years) it stays at the largest, never wrapping to a time before it.
int64_t MediaTime(uint64_t frames, uint32_t sampleRate) {
  const double time = static_cast<double>(frames) * 10000000.0 / sampleRate;
  return time < 9.2e18 ? static_cast<int64_t>(time) : INT64_MAX;
}
}  // namespace

AudioPacketTime AudioPacketTiming(uint64_t framesWritten, uint32_t frames, uint32_t sampleRate) {
  AudioPacketTime timing;
  if (sampleRate == 0) return timing;
  timing.time = MediaTime(framesWritten, sampleRate);
  // To the next stretch's time, so that stretches of any length abut exactly.
  const int64_t end = MediaTime(framesWritten + frames, sampleRate);
  timing.duration = end - timing.time;
  return timing;
}
