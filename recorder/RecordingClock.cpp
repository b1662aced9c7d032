#include "recorder/RecordingClock.h"

#include <utility>

int64_t SaturatingSub(int64_t a, int64_t b) {
  if (b < 0 && a > INT64_MAX + b) return INT64_MAX;
  if (b > 0 && a < INT64_MIN + b) return INT64_MIN;
  return a - b;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
  if (b == INT64_MIN) return a < 0 ? INT64_MIN : a + b;
  return SaturatingSub(a, -b);
}

namespace {

// `ticks` of a clock running `rate` a second, in units of `perSecond` a
// second, rounded down and held at the largest value.
uint64_t Scale(uint64_t ticks, uint64_t rate, uint64_t perSecond) {
  if (rate == 0) return 0;
  const uint64_t whole = ticks / rate;
  if (perSecond != 0 && whole > UINT64_MAX / perSecond) return UINT64_MAX;
  // The part-second: less than perSecond units, exact enough in a double.
  const auto part = static_cast<uint64_t>(static_cast<double>(ticks % rate) * static_cast<double>(perSecond) /
                                          static_cast<double>(rate));
  const uint64_t units = whole * perSecond;
  return units > UINT64_MAX - part ? UINT64_MAX : units + part;
}

// The same with a sign, rounded toward zero.
int64_t Convert(int64_t value, int64_t rate, uint64_t perSecond) {
  if (rate <= 0) return 0;
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const uint64_t scaled = Scale(magnitude, static_cast<uint64_t>(rate), perSecond);
  const int64_t held = scaled > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(scaled);
  return value < 0 ? -held : held;
}

}  // namespace

uint64_t CounterUnits(int64_t from, int64_t to, int64_t frequency, uint64_t perSecond) {
  if (frequency <= 0 || to <= from) return 0;
  return Scale(static_cast<uint64_t>(to) - static_cast<uint64_t>(from), static_cast<uint64_t>(frequency), perSecond);
}

RecordingClock::RecordingClock(Counter counter, int64_t frequency)
    : counter_(std::move(counter)), frequency_(frequency) {}

void RecordingClock::Start() {
  std::lock_guard<std::mutex> lock(lock_);
  origin_ = counter_();
  pauses_.clear();
  forgottenBefore_ = INT64_MIN;
  ended_ = false;
}

bool RecordingClock::Paused() const {
  std::lock_guard<std::mutex> lock(lock_);
  return InPause();
}

void RecordingClock::Pause() {
  std::lock_guard<std::mutex> lock(lock_);
  if (ended_ || InPause()) return;
  int64_t at = counter_();
  // Never before the last resume: a counter that went back makes no pause
  // reach into recorded time already handed out.
  if (!pauses_.empty() && at < pauses_.back().to) at = pauses_.back().to;
  int64_t before = 0;
  if (!pauses_.empty()) {
    const PauseSpan& last = pauses_.back();
    before = SaturatingAdd(last.before, SaturatingSub(last.to, last.from));
  }
  if (pauses_.size() >= kPausesKept) {
    // What lay before the oldest pause kept is no longer known: a capture
    // stamp that old is not believed anyway.
    forgottenBefore_ = pauses_[kPausesKept / 2 - 1].to;
    pauses_.erase(pauses_.begin(), pauses_.begin() + kPausesKept / 2);
  }
  pauses_.push_back({at, kOpen, before});
}

void RecordingClock::Resume() {
  std::lock_guard<std::mutex> lock(lock_);
  if (ended_ || !InPause()) return;
  const int64_t at = counter_();
  pauses_.back().to = at > pauses_.back().from ? at : pauses_.back().from;
}

void RecordingClock::End() {
  Pause();
  std::lock_guard<std::mutex> lock(lock_);
  ended_ = true;
}

RecordingClock::Reading RecordingClock::Now() const {
  std::lock_guard<std::mutex> lock(lock_);
  Reading reading;
  reading.counter = counter_();
  reading.paused = !RecordedLocked(reading.counter, reading.recorded);
  if (reading.paused) {
    // Where the pause it is in began.
    const PauseSpan* pause = PauseBefore(reading.counter);
    reading.recorded = pause ? SaturatingSub(SaturatingSub(pause->from, origin_), pause->before) : 0;
  }
  return reading;
}

bool RecordingClock::RecordedAt(int64_t at, int64_t& recorded) const {
  std::lock_guard<std::mutex> lock(lock_);
  return RecordedLocked(at, recorded);
}

const RecordingClock::PauseSpan* RecordingClock::PauseBefore(int64_t at) const {
  for (auto pause = pauses_.rbegin(); pause != pauses_.rend(); ++pause) {
    if (pause->from <= at) return &*pause;
  }
  return nullptr;
}

bool RecordingClock::RecordedLocked(int64_t at, int64_t& recorded) const {
  if (at < forgottenBefore_) return false;
  const PauseSpan* pause = PauseBefore(at);
  if (pause && at < pause->to) return false;
  const int64_t paused = pause ? SaturatingAdd(pause->before, SaturatingSub(pause->to, pause->from)) : 0;
  recorded = SaturatingSub(SaturatingSub(at, origin_), paused);
  return true;
}

void RecordingClock::Recorded(int64_t from, int64_t to, std::vector<Stretch>& out) const {
  out.clear();
  std::lock_guard<std::mutex> lock(lock_);
  int64_t cursor = from > forgottenBefore_ ? from : forgottenBefore_;
  for (const PauseSpan& pause : pauses_) {
    if (cursor >= to) return;
    if (pause.to <= cursor) continue;
    const int64_t end = pause.from < to ? pause.from : to;
    int64_t recorded = 0;
    if (end > cursor && RecordedLocked(cursor, recorded)) {
      out.push_back({SaturatingSub(cursor, from), recorded, SaturatingSub(end, cursor)});
    }
    if (pause.from >= to) return;
    cursor = pause.to;
  }
  int64_t recorded = 0;
  if (cursor < to && RecordedLocked(cursor, recorded)) {
    out.push_back({SaturatingSub(cursor, from), recorded, SaturatingSub(to, cursor)});
  }
}

int64_t RecordingClock::Units(int64_t ticks, uint64_t perSecond) const { return Convert(ticks, frequency_, perSecond); }

int64_t RecordingClock::Ticks(int64_t units, uint64_t perSecond) const {
  if (frequency_ <= 0 || perSecond > static_cast<uint64_t>(INT64_MAX)) return 0;
  return Convert(units, static_cast<int64_t>(perSecond), static_cast<uint64_t>(frequency_));
}
