#pragma once
// The sound track of a recording: each source's packets placed on the
// recording clock by their own capture times, and the sources summed into
// one track. Platform-free, so that hours of simulated clocks run in a test.
//
// Positions are frames of the track's rate counted on the recording clock
// (pauses left out). A source's packets follow on from one another; where
// the capture times say the source runs fast or slow against the recording
// clock (every crystal does, by tens of ppm), a single frame is dropped or
// repeated now and then, so the source never drifts from the picture and
// no silence is ever put into sound that keeps coming. Only where a source
// delivered nothing for a while (stopped, unplugged, or the system playing
// nothing) does its part of the track stay silent up to its next packet.
#include <cstddef>
#include <climits>
#include <cstdint>
#include <vector>

struct AudioTrackFormat {
  uint32_t sampleRate = 0;
  uint32_t channels = 0;  // 1 or 2, interleaved 16-bit samples
};

// How far behind the recording clock the track is mixed: packets have this
// long to arrive. A source with nothing there by then is silence, and the
// other source does not wait for it.
constexpr int64_t kMixDelayMs = 250;
// A packet whose capture time lies further than this from where its source's
// frames have reached is placed at its capture time: the source delivered
// nothing in between (or its clock jumped).
constexpr int64_t kResyncMs = 40;
// How far a source's frames may run from its capture times (smoothed over
// some 30 packets, against the jitter of the stamps) before a frame is
// dropped or repeated.
constexpr int64_t kDriftToleranceMs = 4;

// The recording clock as the audio thread sees it, in ticks of the
// performance counter from the start with the pauses left out, for any
// moment since: a packet is kept or dropped by when it was captured, not by
// when it was drained, so the packets still on their way when a pause began
// are kept, and those captured during one are not.
class PauseTimeline {
 public:
  explicit PauseTimeline(int64_t startTicks) : start_(startTicks) {}
  // The state seen at counter reading `now`; a pause runs from the first look
  // that saw it to the first that saw the recording again.
  void Observe(bool recording, int64_t now);
  // Recorded ticks at counter reading `at` (negative before the start);
  // false when `at` lies in a pause, or after the start of the one going on.
  bool RecordedAt(int64_t at, int64_t& recorded) const;
  // Recorded ticks at `now`, or where the pause going on began.
  int64_t RecordedNow(int64_t now) const;

 private:
  struct Pause {
    int64_t from, to;   // `to` is INT64_MAX while it goes on
    int64_t before;     // paused ticks before it
  };
  int64_t start_;
  std::vector<Pause> pauses_;
  int64_t forgottenBefore_ = INT64_MIN;  // pauses before this are no longer kept
};

class AudioMixer {
 public:
  AudioMixer(AudioTrackFormat format, size_t sources);

  // A packet of `frames` frames of the track's format (null: silent),
  // whose first frame was captured at position `capturedAt`.
  void Add(size_t source, const int16_t* samples, uint32_t frames, int64_t capturedAt);

  // Sums the sources from the last position mixed up to `end`, but at most
  // ten seconds of it, into `out` (its contents replaced, saturated rather
  // than wrapped); the number of frames, 0 when `end` is not past it.
  uint32_t MixUntil(uint64_t end, std::vector<int16_t>& out);

  uint64_t MixedFrames() const { return mixed_; }

  // What was done to keep a source on the clock.
  struct Corrections {
    uint64_t dropped = 0, repeated = 0, placed = 0;
  };
  Corrections CorrectionsOf(size_t source) const { return tracks_[source].corrections; }

 private:
  struct Track {
    bool started = false;
    int64_t head = 0;      // where its next frame goes
    double drift = 0;      // smoothed head - capture time, in frames
    // Frames from mixed_ on, interleaved; silence where it had nothing.
    std::vector<int16_t> pending;
    Corrections corrections;
  };
  void Put(Track& track, int64_t at, const int16_t* samples, uint32_t frames, bool repeatFirst);

  AudioTrackFormat format_;
  std::vector<Track> tracks_;
  uint64_t mixed_ = 0;
  std::vector<int32_t> sum_;  // kept from pass to pass
  int64_t resyncFrames_, toleranceFrames_;
  int64_t maxAheadFrames_;  // ten seconds: the most a source holds, or one mix
};
