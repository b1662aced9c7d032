#pragma once
// Turning device packets into the file's 16-bit PCM, and their times.
// Platform-free.
#include <cstdint>

#include <vector>

struct AudioLayout {
  uint32_t channels = 0;        // device channels per frame
  uint32_t outputChannels = 0;  // 1 or 2 in the track
  uint32_t bitsPerSample = 0;   // device bits per sample
  bool isFloat = false;         // device samples are 32-bit IEEE floats
  uint32_t blockAlign = 0;      // device bytes per frame, as the format says
  // The speakers of the channels, in order, as WAVEFORMATEXTENSIBLE's
  // dwChannelMask has them; 0 for the usual ones of that many channels.
  uint32_t channelMask = 0;
};

// The format of a recording's track: interleaved 16-bit samples.
struct AudioTrackFormat {
  uint32_t sampleRate = 0;
  uint32_t channels = 0;  // 1 or 2
};

// 1 for mono devices, 2 for anything with two channels or more.
uint32_t OutputChannelsFor(uint32_t deviceChannels);

// The track for sources of these rates and channel counts: the highest rate
// among them (the others are converted up to it, so a 16 kHz headset never
// takes the computer's sound down with it), stereo when any source has two
// channels or more. Empty: no track.
struct SourceFormat {
  uint32_t sampleRate = 0;
  uint32_t channels = 0;
};
AudioTrackFormat TrackFormatFor(const std::vector<SourceFormat>& sources);

// True for WAVE_FORMAT_IEEE_FLOAT, or WAVE_FORMAT_EXTENSIBLE whose sub-format
// starts with the float tag (3).
bool IsFloatFormat(uint16_t formatTag, uint32_t subFormatFirstField);

// A device format the conversion knows: PCM of 8, 16, 24 or 32 bits or
// 32-bit floats (plain or extensible), at least one channel, and frames at
// least as long as their samples. Anything else is not recorded.
bool IsKnownLayout(uint16_t formatTag, uint32_t subFormatFirstField, const AudioLayout& layout);

// One device sample (little-endian bytes) as signed 16-bit.
int16_t ConvertSample(const uint8_t* sample, bool isFloat, uint32_t bitsPerSample);

// Bytes of the file's PCM for `frames` frames.
uint32_t AudioPayloadBytes(uint32_t outputChannels, uint32_t frames);

// Converts `frames` device frames into interleaved 16-bit PCM, frames being
// blockAlign bytes apart. A mono device's channel goes to every side as it
// is; more channels are mixed down to stereo as surround is: front left
// and right as they are, the centre and every other speaker at -3 dB into
// its side (or both sides, for those in the middle), the LFE left out, and
// the sum saturated. A mono track takes the mean of that left and right. Null data is a silent packet. `out` holds
// outputChannels * frames samples; `data` holds frames * blockAlign bytes of
// a known layout.
void ConvertPacket(const uint8_t* data, uint32_t frames, const AudioLayout& layout, int16_t* out);

// Media time (100-ns units) of a stretch that follows `framesWritten`
// frames, truncated as computed in double precision, and its duration up to
// the time of the stretch after it.
struct AudioPacketTime {
  int64_t time = 0;
  int64_t duration = 0;
};
AudioPacketTime AudioPacketTiming(uint64_t framesWritten, uint32_t frames, uint32_t sampleRate);
