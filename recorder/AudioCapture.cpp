// The engine's side of the sound: which sources a recording has, the audio
// thread that polls them and mixes them on the recording clock, and the
// track it hands to the writer.
#include <algorithm>
#include <cstring>

#include "recorder/AudioMixer.h"
#include "recorder/AudioSource.h"
#include "recorder/FramePacer.h"
#include "recorder/ScreenRecorder.h"

namespace {
constexpr DWORD kPollIntervalMs = 8;
constexpr uint64_t kHnsPerSecond = 10000000;
// A capture time further back than this is not believed.
constexpr uint64_t kLongestAgeHns = 10 * kHnsPerSecond;
}  // namespace

std::vector<std::wstring> ScreenRecorder::EnumerateAudioCaptureDevices() { return AudioInputDeviceNames(); }

void ScreenRecorder::OpenAudioSources() {
  ReleaseAudioObjects();
  audioFramesWritten = 0;
  std::vector<std::unique_ptr<AudioSource>> opened;
  auto open = [&](AudioSourceKind kind) {
    auto source = std::make_unique<AudioSource>(kind);
    if (SUCCEEDED(source->Open())) opened.push_back(std::move(source));
  };
  if (audioEnabled) open(AudioSourceKind::Microphone);
  if (computerSoundEnabled) open(AudioSourceKind::ComputerSound);
  if (!opened.empty()) {
    // The track runs at the first source's rate (so the microphone alone is
    // recorded as it comes), in stereo when any source has two channels.
    audioFormat = {opened.front()->DeviceRate(), 1};
    for (const auto& source : opened) {
      audioFormat.channels = (std::max)(audioFormat.channels, OutputChannelsFor(source->DeviceChannels()));
    }
    for (auto& source : opened) {
      if (SUCCEEDED(source->Prepare(audioFormat))) audioSources_.push_back(std::move(source));
    }
  }
  const bool haveComputerSound = std::any_of(audioSources_.begin(), audioSources_.end(), [](const auto& source) {
    return source->Kind() == AudioSourceKind::ComputerSound;
  });
  computerSoundMissing = computerSoundEnabled && !haveComputerSound;
}

void ScreenRecorder::ReleaseAudioObjects() { audioSources_.clear(); }

void ScreenRecorder::AudioLoop() {
  ComApartment com(COINIT_MULTITHREADED);
  // A source that will not start, or that is lost on the way, is silence on
  // the recording clock; the other goes on.
  std::vector<bool> live;
  for (auto& source : audioSources_) live.push_back(source->Start());
  const uint32_t rate = audioFormat.sampleRate;
  AudioMixer mixer(audioFormat, audioSources_.size());
  const uint64_t delay = static_cast<uint64_t>(rate) * kMixDelayMs / 1000;
  const uint64_t leastWrite = rate / 100;  // a sample of 10 ms or more
  std::vector<int16_t> mixed;
  // Mixed first, then handed over: the mix may move the vector's memory.
  auto mixAndWrite = [&](uint64_t end) {
    const uint32_t frames = mixer.MixUntil(end, mixed);
    WriteAudio(mixed.data(), frames);
  };

  // The recording clock: the performance counter from the start, pauses
  // left out. Frames of the track at recorded ticks.
  LARGE_INTEGER frequency, now = recordingStart;
  QueryPerformanceFrequency(&frequency);
  PauseTimeline timeline(recordingStart.QuadPart);
  auto framesAt = [&](int64_t ticks) {
    const auto frames = static_cast<int64_t>(CounterUnits(0, ticks < 0 ? -ticks : ticks, frequency.QuadPart, rate));
    return ticks < 0 ? -frames : frames;
  };
  while (!stopRequested.load()) {
    Sleep(kPollIntervalMs);
    QueryPerformanceCounter(&now);
    timeline.Observe(state.load() == RecorderState::Recording, now.QuadPart);
    const uint64_t nowHns = CounterUnits(0, now.QuadPart, frequency.QuadPart, kHnsPerSecond);
    for (size_t i = 0; i < audioSources_.size(); ++i) {
      if (!live[i]) continue;
      live[i] = audioSources_[i]->Drain([&](const int16_t* samples, uint32_t frames, uint64_t capturedHns) {
        // Captured when its own stamp says, or else on arrival less its length.
        uint64_t ageHns = static_cast<uint64_t>(frames) * kHnsPerSecond / rate;
        if (capturedHns != 0 && capturedHns <= nowHns && nowHns - capturedHns < kLongestAgeHns) {
          ageHns = nowHns - capturedHns;
        }
        const auto ageTicks = CounterUnits(0, static_cast<int64_t>(ageHns), kHnsPerSecond, frequency.QuadPart);
        const int64_t capturedTicks = now.QuadPart - static_cast<int64_t>(ageTicks);
        // Captured during a pause (or after a stop): dropped, so the track has no gap.
        int64_t recorded = 0;
        if (timeline.RecordedAt(capturedTicks, recorded)) mixer.Add(i, samples, frames, framesAt(recorded));
      });
    }
    const int64_t due = framesAt(timeline.RecordedNow(now.QuadPart));
    while (due >= static_cast<int64_t>(mixer.MixedFrames() + delay + leastWrite) && !stopRequested.load()) {
      mixAndWrite(static_cast<uint64_t>(due) - delay);
    }
  }
  // The rest of the track, as long as the picture, with what has come.
  const int64_t end = framesAt(timeline.RecordedNow(now.QuadPart));
  while (static_cast<int64_t>(mixer.MixedFrames()) < end) mixAndWrite(static_cast<uint64_t>(end));
  for (auto& source : audioSources_) source->Stop();

  FILETIME created, exited, kernel, user;
  if (GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) {
    auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    audioThreadCpuTicks = ticks(kernel) + ticks(user);
  }
}

HRESULT ScreenRecorder::WriteAudio(const int16_t* samples, uint32_t frames) {
  if (frames == 0) return S_OK;
  const AudioPacketTime timing = AudioPacketTiming(audioFramesWritten, frames, audioFormat.sampleRate);
  const uint32_t bytes = AudioPayloadBytes(audioFormat.channels, frames);
  bool filled = false;
  const HRESULT hr = SubmitSample(
      audioStreamIndex, bytes,
      [&](BYTE* target) {
        if (samples) {
          std::memcpy(target, samples, bytes);
        } else {
          std::memset(target, 0, bytes);
        }
      },
      timing.time, timing.duration, &filled);
  // A stretch lost once its buffer was made still takes its place on the
  // time line, so the next one is stamped where it belongs.
  if (filled) audioFramesWritten += frames;
  return hr;
}
