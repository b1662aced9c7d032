#include "recorder/AudioMixer.h"

#include <algorithm>

namespace {
// The drift estimate follows each packet by this share.
constexpr double kSmoothing = 1.0 / 32;
}  // namespace

AudioMixer::AudioMixer(AudioTrackFormat format, size_t sources)
    : format_(format),
      tracks_(sources),
      resyncFrames_(static_cast<int64_t>(format.sampleRate) * kResyncMs / 1000),
      toleranceFrames_(static_cast<int64_t>(format.sampleRate) * kDriftToleranceMs / 1000),
      // Stamps far ahead of anything mixed can only be wrong; ten seconds is
      // more than any delivery takes, and bounds what a source holds.
      maxAheadFrames_(static_cast<int64_t>(format.sampleRate) * 10) {}

void AudioMixer::Add(size_t source, const int16_t* samples, uint32_t frames, int64_t capturedAt) {
  if (source >= tracks_.size() || frames == 0 || format_.channels == 0) return;
  // A stamp this far from the mixed position cannot be believed (and the
  // packet would be lost anyway, or held for longer than anything waits).
  const int64_t mixed = static_cast<int64_t>(mixed_);
  if (capturedAt > mixed + maxAheadFrames_ || capturedAt < mixed - maxAheadFrames_) return;
  Track& track = tracks_[source];
  bool repeatFirst = false;
  if (!track.started) {
    track.started = true;
    track.head = capturedAt;
  } else {
    const int64_t error = track.head - capturedAt;
    if (error > resyncFrames_ || error < -resyncFrames_) {
      track.head = capturedAt;
      track.drift = 0;
      ++track.corrections.placed;
    } else {
      track.drift += (static_cast<double>(error) - track.drift) * kSmoothing;
      if (track.drift > static_cast<double>(toleranceFrames_) && frames > 1) {
        // Running fast: one frame fewer.
        if (samples) samples += format_.channels;
        --frames;
        track.drift -= 1;
        ++track.corrections.dropped;
      } else if (track.drift < -static_cast<double>(toleranceFrames_)) {
        repeatFirst = true;
        track.drift += 1;
        ++track.corrections.repeated;
      }
    }
  }
  Put(track, track.head, samples, frames, repeatFirst);
  track.head += frames + (repeatFirst ? 1 : 0);
}

void AudioMixer::Put(Track& track, int64_t at, const int16_t* samples, uint32_t frames, bool repeatFirst) {
  const size_t channels = format_.channels;
  int64_t offset = at - static_cast<int64_t>(mixed_);
  if (offset > maxAheadFrames_) return;
  std::vector<int16_t>& pending = track.pending;
  if (repeatFirst) {
    // The repeated frame goes first, so a packet arriving too late loses it first.
    if (offset >= 0) {
      pending.resize(static_cast<size_t>(offset) * channels, 0);
      for (size_t c = 0; c < channels; ++c) pending.push_back(samples ? samples[c] : 0);
    }
    ++offset;
  }
  // What falls before the mixed position came too late, and is lost.
  uint32_t skip = 0;
  if (offset < 0) {
    if (static_cast<uint64_t>(-offset) >= frames) return;
    skip = static_cast<uint32_t>(-offset);
    offset = 0;
  }
  // Silence up to the packet where the source delivered nothing; a packet
  // placed back over frames it had given replaces them.
  pending.resize(static_cast<size_t>(offset) * channels, 0);
  const size_t count = static_cast<size_t>(frames - skip) * channels;
  if (samples) {
    const int16_t* from = samples + static_cast<size_t>(skip) * channels;
    pending.insert(pending.end(), from, from + count);
  } else {
    pending.resize(pending.size() + count, 0);
  }
}

uint32_t AudioMixer::MixUntil(uint64_t end, std::vector<int16_t>& out) {
  out.clear();
  if (end <= mixed_ || format_.channels == 0) return 0;
  const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(end - mixed_, static_cast<uint64_t>(maxAheadFrames_)));
  const size_t count = static_cast<size_t>(frames) * format_.channels;
  std::vector<int32_t>& sum = sum_;
  sum.assign(count, 0);
  for (Track& track : tracks_) {
    const size_t n = std::min(count, track.pending.size());
    for (size_t i = 0; i < n; ++i) sum[i] += track.pending[i];
    track.pending.erase(track.pending.begin(), track.pending.begin() + static_cast<std::ptrdiff_t>(n));
  }
  out.resize(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
  mixed_ += frames;
  return frames;
}

namespace {
constexpr uint64_t kHnsPerSecond = 10000000;
// A capture stamp further back than this is not believed.
constexpr uint64_t kLongestAgeHns = 10 * kHnsPerSecond;
}  // namespace

TrackMixer::TrackMixer(AudioTrackFormat format, size_t sources, const RecordingClock& clock)
    : mixer_(format, sources), clock_(clock), rate_(format.sampleRate), sources_(sources) {}

void TrackMixer::Add(size_t source, const int16_t* samples, const std::vector<Packet>& packets,
                     const RecordingClock::Reading& now) {
  // A drain that brought nothing says nothing of when the frames to come
  // are captured.
  if (rate_ == 0 || source >= sources_.size() || packets.empty()) return;
  SourceTime& time = sources_[source];
  const uint64_t nowHns = CounterUnits(0, now.counter, clock_.frequency(), kHnsPerSecond);
  auto hns = [this](uint64_t frames) { return static_cast<int64_t>(frames * kHnsPerSecond / rate_); };
  // The time of the source's first frame as each stamp of this drain has
  // it; the last frame cannot have been captured after now.
  uint64_t frames = time.frames;
  int64_t earliest = static_cast<int64_t>(nowHns);
  for (const Packet& packet : packets) {
    const uint64_t stamp = packet.capturedHns;
    if (stamp != 0 && stamp <= nowHns && nowHns - stamp < kLongestAgeHns) {
      earliest = (std::min)(earliest, SaturatingSub(static_cast<int64_t>(stamp), hns(frames)));
    }
    frames += packet.frames;
  }
  earliest = (std::min)(earliest, SaturatingSub(static_cast<int64_t>(nowHns), hns(frames)));
  // Kept for a second: long enough to span a device's late stamps, short
  // enough to follow its clock's drift. Frames that never came (a device
  // that delivers nothing while nothing plays, a lost packet) put even the
  // best stamp of a drain later than all before it: from there on only the
  // new ones count.
  int64_t before = INT64_MAX;
  for (const auto& seen : time.earliest) before = (std::min)(before, seen.second);
  if (before != INT64_MAX && SaturatingSub(earliest, before) > kResyncMs * 10000) time.earliest.clear();
  time.earliest.emplace_back(nowHns, earliest);
  while (time.earliest.size() > 1 && time.earliest.front().first < nowHns - (std::min)(nowHns, kHnsPerSecond)) {
    time.earliest.pop_front();
  }
  for (const auto& seen : time.earliest) earliest = (std::min)(earliest, seen.second);

  const size_t channels = mixer_.Channels();
  for (const Packet& packet : packets) {
    const int64_t capturedHns = SaturatingAdd(earliest, hns(time.frames));
    const int64_t age = SaturatingSub(static_cast<int64_t>(nowHns), capturedHns);
    Place(source, samples, packet.frames, SaturatingSub(now.counter, clock_.Ticks(age, kHnsPerSecond)));
    if (samples) samples += static_cast<size_t>(packet.frames) * channels;
    time.frames += packet.frames;
  }
}

void TrackMixer::Place(size_t source, const int16_t* samples, uint32_t frames, int64_t captured) {
  if (frames == 0) return;
  const int64_t length = clock_.Ticks(static_cast<int64_t>(frames) * static_cast<int64_t>(kHnsPerSecond) / rate_,
                                      kHnsPerSecond);
  // Only the frames captured while recording: a packet that straddles the
  // start or end of a pause is cut there.
  clock_.Recorded(captured, SaturatingAdd(captured, length > 0 ? length : 1), stretches_);
  const size_t channels = mixer_.Channels();
  for (const RecordingClock::Stretch& stretch : stretches_) {
    const int64_t first = clock_.Units(stretch.offset, rate_);
    const int64_t until = SaturatingAdd(stretch.offset, stretch.length);
    const int64_t end = until >= length ? frames : clock_.Units(until, rate_);
    if (first < 0 || end <= first || end > frames) continue;
    mixer_.Add(source, samples ? samples + static_cast<size_t>(first) * channels : nullptr,
               static_cast<uint32_t>(end - first), clock_.Units(stretch.recorded, rate_));
  }
}

void TrackMixer::Mix(const RecordingClock::Reading& now, bool all, const Write& write) {
  const int64_t recorded = clock_.Units(now.recorded, rate_);
  if (recorded <= 0) return;
  const uint64_t delay = all ? 0 : static_cast<uint64_t>(rate_) * kMixDelayMs / 1000;
  const uint64_t least = all ? 1 : rate_ / 100;
  const uint64_t due = static_cast<uint64_t>(recorded);
  while (due >= mixer_.MixedFrames() + delay + least) {
    // Mixed first, then handed over: the next mix may move the vector's memory.
    const uint32_t frames = mixer_.MixUntil(due - delay, mixed_);
    if (frames == 0) return;
    write(mixed_.data(), frames);
  }
}
