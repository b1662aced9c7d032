// A sound device's format and packets: any channel count, sample width,
// block alignment and length, and the times of what is written.
#include <vector>

#include "recorder/AudioFormat.h"
#include "recorder/FramePacer.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint16_t tag = in.Take<uint16_t>();
  const uint32_t subFormat = in.Take<uint8_t>();
  AudioLayout layout;
  layout.channels = in.Take<uint16_t>();
  layout.outputChannels = OutputChannelsFor(layout.channels);
  layout.bitsPerSample = in.Take<uint16_t>();
  layout.blockAlign = in.Take<uint16_t>();
  layout.isFloat = IsFloatFormat(tag, subFormat);
  const uint64_t written = in.Take<uint64_t>(), due = in.Take<uint64_t>();
  const uint32_t rate = in.Take<uint32_t>();
  const int64_t arrivalMs = in.Take<int64_t>();

  // The packet in a buffer of exactly its own length, so that a read past
  // it is caught.
  const std::string bytes = in.Rest();
  const std::vector<uint8_t> packet(bytes.begin(), bytes.end());
  if (IsKnownLayout(tag, subFormat, layout)) {
    const auto frames = static_cast<uint32_t>(packet.size() / layout.blockAlign);
    std::vector<int16_t> out(static_cast<size_t>(layout.outputChannels) * frames);
    ConvertPacket(frames ? packet.data() : nullptr, frames, layout, out.data());
  }

  const AudioPacketTime timing = AudioPacketTiming(written, static_cast<uint32_t>(packet.size()), rate);
  FUZZ_CHECK(timing.time >= 0 && timing.duration >= 0);
  const uint64_t gap = AudioGapFrames(due, written, rate);
  FUZZ_CHECK(gap == 0 || (due > written && gap == due - written));
  // Never more silence than the time the first packet took to arrive.
  const uint64_t silence = LeadingSilenceFrames(arrivalMs, static_cast<uint32_t>(packet.size()), rate);
  FUZZ_CHECK(silence <= CounterUnits(0, arrivalMs, 1000, rate));
  return 0;
}
