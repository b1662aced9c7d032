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

void PauseTimeline::Observe(bool recording, int64_t now) {
  const bool paused = !pauses_.empty() && pauses_.back().to == INT64_MAX;
  if (!recording && !paused) {
    const int64_t before = pauses_.empty() ? 0 : pauses_.back().before + (pauses_.back().to - pauses_.back().from);
    // Only the last pauses are looked up: a stamp older than a few seconds
    // is not believed anyway.
    if (pauses_.size() >= 64) {
      forgottenBefore_ = pauses_[31].to;
      pauses_.erase(pauses_.begin(), pauses_.begin() + 32);
    }
    pauses_.push_back({now, INT64_MAX, before});
  } else if (recording && paused) {
    pauses_.back().to = std::max(now, pauses_.back().from);
  }
}

bool PauseTimeline::RecordedAt(int64_t at, int64_t& recorded) const {
  if (at < forgottenBefore_) return false;
  for (auto pause = pauses_.rbegin(); pause != pauses_.rend(); ++pause) {
    if (at < pause->from) continue;
    if (at < pause->to) return false;
    recorded = at - start_ - pause->before - (pause->to - pause->from);
    return true;
  }
  recorded = at - start_;
  return true;
}

int64_t PauseTimeline::RecordedNow(int64_t now) const {
  int64_t recorded = 0;
  if (!pauses_.empty() && pauses_.back().to == INT64_MAX) {
    return pauses_.back().from - start_ - pauses_.back().before;
  }
  return RecordedAt(now, recorded) ? recorded : 0;
}
