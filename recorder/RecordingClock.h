#pragma once
// The one clock of a recording. Its origin is read once, when the recording
// starts; a pause is stamped where Pause and Resume are called (on the
// user-interface thread), and the end where the recording is stopped. Every
// consumer asks it for the recorded time of a counter reading: the video
// thread for a frame's time, the audio thread for where a packet captured at
// some instant belongs, the window for the duration it shows. So the picture
// and the sound leave out exactly the same stretches, and a pause is kept in
// one place only.
//
// Platform-free: the counter (the performance counter in the program, a
// simulated one in tests) is read through a function. Safe to use from any
// thread.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// The time between two readings of a counter that runs at `frequency` ticks
// a second, in units of which there are `perSecond` in a second, rounded
// down: 0 when the counter went backwards (it wrapped) or the frequency is
// not positive, and the largest value rather than one that overflowed.
uint64_t CounterUnits(int64_t from, int64_t to, int64_t frequency, uint64_t perSecond);

// a - b and a + b held at the ends of the range: counters and stamps are
// outside data, and a wrapped sum would move a recording's time anywhere.
int64_t SaturatingSub(int64_t a, int64_t b);
int64_t SaturatingAdd(int64_t a, int64_t b);

class RecordingClock {
 public:
  using Counter = std::function<int64_t()>;

  // `counter` ticks `frequency` times a second.
  RecordingClock(Counter counter, int64_t frequency);
  RecordingClock(const RecordingClock&) = delete;
  RecordingClock& operator=(const RecordingClock&) = delete;

  // The origin, read once the recording's file is open and its threads
  // are about to start: recorded time 0.
  void Start();

  // Each stamps the counter now. Pausing while paused and resuming while
  // recording do nothing; after End, nothing does.
  void Pause();
  void Resume();
  // Nothing is recorded from now on: a pause that never ends.
  void End();

  struct Reading {
    int64_t counter = 0;   // the counter now
    int64_t recorded = 0;  // recorded ticks: still in a pause, where it began
    bool paused = false;   // in a pause, or ended
  };
  Reading Now() const;
  bool Paused() const;

  // Recorded ticks at counter reading `at` (negative before the origin);
  // false when `at` lies in a pause, after the end, or too far back to be
  // known (only the last pauses are kept).
  bool RecordedAt(int64_t at, int64_t& recorded) const;

  // The recorded parts of the counter readings [from, to): where each
  // begins (ticks after `from`), its recorded ticks there, and its length.
  struct Stretch {
    int64_t offset = 0, recorded = 0, length = 0;
  };
  void Recorded(int64_t from, int64_t to, std::vector<Stretch>& out) const;

  int64_t frequency() const { return frequency_; }
  // Ticks in units of which there are `perSecond` in a second, rounded
  // toward zero; a clock of no frequency counts nothing.
  int64_t Units(int64_t ticks, uint64_t perSecond) const;
  // Units back to ticks, likewise.
  int64_t Ticks(int64_t units, uint64_t perSecond) const;

 private:
  struct PauseSpan {
    int64_t from, to;  // `to` is kOpen while it goes on
    int64_t before;    // paused ticks before it
  };
  static constexpr int64_t kOpen = INT64_MAX;
  static constexpr size_t kPausesKept = 64;

  bool InPause() const { return !pauses_.empty() && pauses_.back().to == kOpen; }
  // The last pause that began at or before `at`, or null.
  const PauseSpan* PauseBefore(int64_t at) const;
  bool RecordedLocked(int64_t at, int64_t& recorded) const;

  Counter counter_;
  int64_t frequency_;
  int64_t origin_ = 0;
  mutable std::mutex lock_;
  std::vector<PauseSpan> pauses_;
  int64_t forgottenBefore_ = INT64_MIN;  // nothing before this is known
  bool ended_ = false;
};
