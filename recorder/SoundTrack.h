#pragma once
// The sound of a recording: the sources the user asked for (the microphone,
// the computer's sound, or both), and the audio thread that polls them,
// places their packets on the recording clock, mixes them into one track
// and hands it to the file.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "recorder/AudioMixer.h"

class AudioSource;
class Mp4Writer;

class SoundTrack {
 public:
  SoundTrack();
  ~SoundTrack();
  SoundTrack(const SoundTrack&) = delete;
  SoundTrack& operator=(const SoundTrack&) = delete;

  // Opens the default devices asked for that can be had, and settles the
  // track's format: the highest rate among the sources, stereo when any
  // source has two channels or more.
  void Open(bool microphone, bool computerSound);
  bool HasSources() const { return !sources_.empty(); }
  const AudioTrackFormat& Format() const { return format_; }
  bool HasComputerSound() const;
  // Lets the devices go again, unstarted (the file took no sound).
  void Close();

  // Starts the audio thread writing into `writer` on `clock`, both of which
  // outlive it. Throws as std::thread does when no thread can be made.
  void Start(Mp4Writer& writer, const RecordingClock& clock);
  // Ends the thread once it has written the track up to the clock's end.
  void Stop();
  // The CPU time its thread took, in 100-ns units: a figure of the benchmark.
  uint64_t CpuTicks() const { return cpuTicks_; }

 private:
  void Run(Mp4Writer& writer, const RecordingClock& clock);

  std::vector<std::unique_ptr<AudioSource>> sources_;
  AudioTrackFormat format_;
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
  uint64_t cpuTicks_ = 0;
};
