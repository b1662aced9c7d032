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
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "recorder/AudioFormat.h"
#include "recorder/RecordingClock.h"

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
  size_t Channels() const { return format_.channels; }

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

// The mixer on the recording clock: each packet placed where the clock puts
// the instant its first frame was captured, with what was captured during a
// pause (or after the end) left out frame by frame, and the track mixed as
// far as it is due.
class TrackMixer {
 public:
  TrackMixer(AudioTrackFormat format, size_t sources, const RecordingClock& clock);

  // What one drain of a source gave, in order: each packet's frames and
  // the counter, in 100-ns units, when its first frame was captured, as the
  // device stamps it (0: not stamped). `samples` holds the packets' frames
  // one after another, in the track's format.
  struct Packet {
    uint32_t frames = 0;
    uint64_t capturedHns = 0;
  };
  // Places a drain's packets, drained at clock reading `now`. A source's
  // frames follow on from one another, so each is taken as captured where
  // the earliest stamp of the last second puts it: a stamp is never earlier
  // than its packet's capture, and often later (a device that stamps packets
  // when they are fetched from it, as one held up now and then does, gives a
  // late stamp, or one late stamp to a whole batch). So a stamp's delay moves
  // nothing, and the frames cut at a pause are the ones captured in it. None
  // can have ended after `now`. A stamp that is missing, in the future or
  // older than anything still on its way is not believed.
  void Add(size_t source, const int16_t* samples, const std::vector<Packet>& packets,
           const RecordingClock::Reading& now);

  // Mixes what is due at `now` (kMixDelayMs behind it, in stretches of at
  // least 10 ms), or with `all`, everything up to it: the end of a
  // recording. Each stretch goes to `write` in the order of the track.
  using Write = std::function<void(const int16_t* samples, uint32_t frames)>;
  void Mix(const RecordingClock::Reading& now, bool all, const Write& write);

  uint64_t MixedFrames() const { return mixer_.MixedFrames(); }
  AudioMixer::Corrections CorrectionsOf(size_t source) const { return mixer_.CorrectionsOf(source); }

 private:
  AudioMixer mixer_;
  const RecordingClock& clock_;
  uint32_t rate_;
  // A packet captured from counter reading `captured`, less what was
  // captured during a pause (or after the end).
  void Place(size_t source, const int16_t* samples, uint32_t frames, int64_t captured);

  // Where a source's frames lie in time: how many it has given, and the
  // earliest of its stamps (less the frames before each) of each drain of
  // the last second, in 100-ns units.
  struct SourceTime {
    uint64_t frames = 0;
    std::deque<std::pair<uint64_t, int64_t>> earliest;  // (drained at, first frame's time)
  };
  std::vector<SourceTime> sources_;
  std::vector<RecordingClock::Stretch> stretches_;
  std::vector<int16_t> mixed_;
};
