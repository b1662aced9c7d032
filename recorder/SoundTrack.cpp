#include "recorder/SoundTrack.h"

#include <algorithm>

#include "recorder/AudioSource.h"
#include "recorder/Mp4Writer.h"

namespace {

constexpr DWORD kPollIntervalMs = 8;

// The multimedia class scheduler's "Pro Audio" task for this thread, as
// recorders on Windows register their capture threads: it keeps the thread
// on time while other programs keep the machine busy. Loaded from System32
// at run time, like every other system library the engine loads late; where
// it is missing the thread runs as any other.
class ProAudioTask {
 public:
  ProAudioTask() {
    module_ = LoadLibraryExW(L"avrt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module_) return;
    auto set = reinterpret_cast<HANDLE(WINAPI*)(LPCWSTR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "AvSetMmThreadCharacteristicsW")));
    revert_ = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "AvRevertMmThreadCharacteristics")));
    DWORD index = 0;
    if (set && revert_) task_ = set(L"Pro Audio", &index);
  }
  ~ProAudioTask() {
    if (task_) revert_(task_);
    if (module_) FreeLibrary(module_);
  }
  ProAudioTask(const ProAudioTask&) = delete;
  ProAudioTask& operator=(const ProAudioTask&) = delete;

 private:
  HMODULE module_ = nullptr;
  BOOL(WINAPI* revert_)(HANDLE) = nullptr;
  HANDLE task_ = nullptr;
};

uint64_t ThreadCpuTicks() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return ticks(kernel) + ticks(user);
}

}  // namespace

SoundTrack::SoundTrack() = default;

SoundTrack::~SoundTrack() { Stop(); }

void SoundTrack::Open(bool microphone, bool computerSound) {
  Close();
  std::vector<std::unique_ptr<AudioSource>> opened;
  auto open = [&](AudioSourceKind kind) {
    auto source = std::make_unique<AudioSource>(kind);
    if (SUCCEEDED(source->Open())) opened.push_back(std::move(source));
  };
  if (microphone) open(AudioSourceKind::Microphone);
  if (computerSound) open(AudioSourceKind::ComputerSound);
  if (opened.empty()) return;
  std::vector<SourceFormat> formats;
  for (const auto& source : opened) formats.push_back({source->DeviceRate(), source->DeviceChannels()});
  format_ = TrackFormatFor(formats);
  for (auto& source : opened) {
    if (SUCCEEDED(source->Prepare(format_))) sources_.push_back(std::move(source));
  }
}

bool SoundTrack::HasComputerSound() const {
  return std::any_of(sources_.begin(), sources_.end(),
                     [](const auto& source) { return source->Kind() == AudioSourceKind::ComputerSound; });
}

void SoundTrack::Close() {
  Stop();
  sources_.clear();
}

void SoundTrack::Start(Mp4Writer& writer, const RecordingClock& clock) {
  Stop();
  stopRequested_ = false;
  if (!sources_.empty()) thread_ = std::thread(&SoundTrack::Run, this, std::ref(writer), std::cref(clock));
}

void SoundTrack::Stop() {
  stopRequested_ = true;
  if (thread_.joinable()) thread_.join();
}

void SoundTrack::Run(Mp4Writer& writer, const RecordingClock& clock) {
  ComApartment com(COINIT_MULTITHREADED);
  const ProAudioTask task;
  // A source that will not start, or that is lost on the way, is silence on
  // the recording clock; the other goes on.
  std::vector<bool> live;
  for (auto& source : sources_) live.push_back(source->Start());
  TrackMixer mixer(format_, sources_.size(), clock);
  const TrackMixer::Write write = [&writer](const int16_t* samples, uint32_t frames) {
    writer.WriteSound(samples, frames);
  };
  // Each source's packets of one pass are placed together: their stamps
  // are read as a whole.
  std::vector<int16_t> samples;
  std::vector<TrackMixer::Packet> packets;
  auto drain = [&] {
    for (size_t i = 0; i < sources_.size(); ++i) {
      if (!live[i]) continue;
      samples.clear();
      packets.clear();
      live[i] = sources_[i]->Drain([&](const int16_t* data, uint32_t frames, uint64_t capturedHns) {
        const size_t count = static_cast<size_t>(frames) * format_.channels;
        if (data) {
          samples.insert(samples.end(), data, data + count);
        } else {
          samples.resize(samples.size() + count, 0);
        }
        packets.push_back({frames, capturedHns});
      });
      // Read after the drain: no packet's stamp is later than it.
      mixer.Add(i, samples.data(), packets, clock.Now());
    }
  };
  while (!stopRequested_.load()) {
    Sleep(kPollIntervalMs);
    drain();
    mixer.Mix(clock.Now(), false, write);
  }
  // The rest of the track, up to the recording's end, with what has come.
  drain();
  mixer.Mix(clock.Now(), true, write);
  for (auto& source : sources_) source->Stop();
  cpuTicks_ = ThreadCpuTicks();
}
