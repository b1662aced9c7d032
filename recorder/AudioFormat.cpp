#include "recorder/AudioFormat.h"

#include <cstring>


namespace {
constexpr uint16_t kWaveFormatIeeeFloat = 3;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
}  // namespace

uint32_t OutputChannelsFor(uint32_t deviceChannels) { return deviceChannels < 2 ? 1 : 2; }

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

void ConvertPacket(const uint8_t* data, uint32_t frames, const AudioLayout& layout, int16_t* out) {
  const uint32_t count = layout.outputChannels * frames;
  if (count == 0) return;  // nothing to write, and `out` may be null
  if (!data) {
    std::memset(out, 0, count * sizeof(int16_t));
    return;
  }
  const uint32_t bytesPerSample = layout.bitsPerSample / 8;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t* frame = data + static_cast<size_t>(i) * layout.blockAlign;
    for (uint32_t c = 0; c < layout.outputChannels; ++c) {
      const uint32_t from = c < layout.channels ? c : layout.channels - 1;
      out[i * layout.outputChannels + c] = ConvertSample(frame + from * bytesPerSample, layout.isFloat, layout.bitsPerSample);
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
