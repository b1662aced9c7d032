#pragma once
// The sound of a recording: the sources the user asked for (the microphone,
// the computer's sound, or both), and the audio thread that polls them,
// places their packets on the recording clock, mixes them into one track
// and hands it to the file. The microphone records from the device the user
// chose while it is there; otherwise, and the computer's sound always, a
// source follows the default device of its kind: unplugged, switched or
// gone, it is opened again on whatever device is wanted then, and is
// silence only while there is none.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/AudioMixer.h"

class AudioSource;
class Mp4Writer;
enum class AudioSourceKind;

class SoundTrack {
 public:
  SoundTrack();
  ~SoundTrack();
  SoundTrack(const SoundTrack&) = delete;
  SoundTrack& operator=(const SoundTrack&) = delete;

  // Opens the devices asked for that can be had, and settles the
  // track's format: the highest rate among the sources, stereo when any
  // source has two channels or more. With none at all there is no track; a
  // source asked for beside one that opened keeps its place, and joins
  // when a device of its kind comes.
  // `microphoneId`: the input device chosen (empty: the default one).
  void Open(bool microphone, bool computerSound, const std::wstring& microphoneId);
  bool HasSources() const { return !sources_.empty(); }
  const AudioTrackFormat& Format() const { return format_; }
  // The source of this kind was asked for and has no device now (or the
  // track has no sources at all).
  bool Missing(AudioSourceKind kind) const;
  // The microphone chosen is not there: the default one stands in for it.
  bool MicrophoneStandsIn() const { return standIn_.load(); }
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

  struct Source {
    AudioSourceKind kind;
    std::unique_ptr<AudioSource> device;  // null while it has none
    uint64_t lookedAt = 0;                // GetTickCount64 of the last look for one
    uint64_t deliveredAt = 0;             // and of its device's last packet
    uint64_t stallMs = 0;                 // how long a silence until it is opened again
  };
  // Opens the device wanted for the source's kind in its place, unless it
  // already records from that one (and has not `stalled`); keeps what it
  // had when that fails, unless it had stalled.
  void Reopen(Source& source, bool stalled);
  // What the status line is told of the sources now.
  void ShowWhatIsMissing();
  const std::wstring& ChosenId(AudioSourceKind kind) const;

  bool asked_[2] = {false, false};
  std::atomic<bool> missing_[2] = {{false}, {false}};
  std::wstring microphoneId_;
  std::atomic<bool> standIn_{false};
  std::vector<Source> sources_;
  AudioTrackFormat format_;
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
  uint64_t cpuTicks_ = 0;
};
