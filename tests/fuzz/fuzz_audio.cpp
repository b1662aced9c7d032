// A sound device's format and packets: any channel count, sample width,
// block alignment and length, the times of what is written, and packets
// stamped anywhere on the clock for the mixer.
#include <vector>

#include "recorder/AudioFormat.h"
#include "recorder/AudioMixer.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint16_t tag = in.ConsumeIntegral<uint16_t>();
  const uint32_t subFormat = in.ConsumeIntegral<uint8_t>();
  AudioLayout layout;
  layout.channels = in.ConsumeIntegral<uint16_t>();
  layout.outputChannels = 1 + in.ConsumeIntegral<uint8_t>() % 2;
  layout.bitsPerSample = in.ConsumeIntegral<uint16_t>();
  layout.blockAlign = in.ConsumeIntegral<uint16_t>();
  layout.isFloat = IsFloatFormat(tag, subFormat);
  const uint64_t written = in.ConsumeIntegral<uint64_t>();
  const uint32_t rate = in.ConsumeIntegral<uint32_t>();
  // The mixer's code is the same at any rate and for any number of steps:
  // a low rate and a few dozen steps keep each mix short (ten seconds of it
  // at the most), so that an input asks for milliseconds, not seconds.
  const auto mixRate = static_cast<uint16_t>(in.ConsumeIntegral<uint16_t>() % 401);
  const auto steps = static_cast<uint8_t>(in.ConsumeIntegral<uint8_t>() % 33);
  std::vector<int64_t> stamps(steps);
  for (int64_t& stamp : stamps) stamp = in.ConsumeIntegral<int64_t>();

  // The packet in a buffer of exactly its own length, so that a read past
  // it is caught.
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  const std::vector<uint8_t> packet(bytes.begin(), bytes.end());
  std::vector<int16_t> out;
  uint32_t frames = 0;
  if (IsKnownLayout(tag, subFormat, layout)) {
    frames = static_cast<uint32_t>(packet.size() / layout.blockAlign);
    out.resize(static_cast<size_t>(layout.outputChannels) * frames);
    ConvertPacket(frames ? packet.data() : nullptr, frames, layout, out.data());
  }

  AudioPacketTiming(written, static_cast<uint32_t>(packet.size()), rate);  // the sanitizers watch the arithmetic

  // The converted packet, again and again, at the stamps given; an odd stamp
  // mixes up to it instead.
  AudioMixer mixer({mixRate, layout.outputChannels}, 2);
  std::vector<int16_t> mixed;
  for (size_t i = 0; i < stamps.size(); ++i) {
    if (stamps[i] & 1) {
      mixer.MixUntil(static_cast<uint64_t>(stamps[i]), mixed);
    } else if (!out.empty()) {
      mixer.Add(i % 2, i % 3 ? out.data() : nullptr, frames, stamps[i] / 2);
    }
  }
  return 0;
}
