#include "recorder/SoundTrack.h"

#include <algorithm>

#include "recorder/AudioSource.h"
#include "recorder/Mp4Writer.h"

namespace {

constexpr DWORD kPollIntervalMs = 8;
// How often a source without a device looks for one, in case the platform
// says nothing of a device that came.
constexpr uint64_t kLookAgainMs = 1000;
// A device that has delivered nothing for this long is opened again: some
// drivers (Wine's, when its sound server goes away) report no error, only
// silence. A loopback stream of a device that plays nothing delivers
// nothing either: each time it is opened again to no avail, it is given
// twice as long, up to a minute, before the next.
constexpr uint64_t kStalledMs = 2000, kLongestStallMs = 60000;

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

namespace {
size_t IndexOf(AudioSourceKind kind) { return kind == AudioSourceKind::Microphone ? 0 : 1; }

// The device of that id (empty: the default one) with its format read; null
// when it cannot be had.
std::unique_ptr<AudioSource> Opened(AudioSourceKind kind, const std::wstring& id) {
  auto device = std::make_unique<AudioSource>(kind, id);
  return SUCCEEDED(device->Open()) ? std::move(device) : nullptr;
}
}  // namespace

const std::wstring& SoundTrack::ChosenId(AudioSourceKind kind) const {
  static const std::wstring kDefault;
  return kind == AudioSourceKind::Microphone ? microphoneId_ : kDefault;
}

void SoundTrack::ShowWhatIsMissing() {
  // Worked out whole, then stored: the status line reads them meanwhile.
  bool missing[2] = {asked_[0], asked_[1]}, standIn = false;
  for (const Source& source : sources_) {
    if (!source.device) continue;
    missing[IndexOf(source.kind)] = false;
    const std::wstring& chosen = ChosenId(source.kind);
    standIn = standIn || (!chosen.empty() && source.device->DeviceId() != chosen);
  }
  for (size_t kind = 0; kind < 2; ++kind) missing_[kind] = missing[kind];
  standIn_ = standIn;
}

void SoundTrack::Open(bool microphone, bool computerSound, const std::wstring& microphoneId) {
  Close();
  asked_[0] = microphone;
  asked_[1] = computerSound;
  microphoneId_ = microphoneId;
  std::vector<Source> opened;
  std::vector<SourceFormat> formats;
  // A chosen device that is there but cannot be had (another program holds
  // it alone, say): the default one stands in, as for one that is away.
  auto open = [&](AudioSourceKind kind) {
    Source source{kind, Opened(kind, ChosenId(kind))};
    if (!source.device && !ChosenId(kind).empty()) source.device = Opened(kind, std::wstring());
    if (source.device) formats.push_back({source.device->DeviceRate(), source.device->DeviceChannels()});
    opened.push_back(std::move(source));
  };
  if (microphone) open(AudioSourceKind::Microphone);
  if (computerSound) open(AudioSourceKind::ComputerSound);
  format_ = TrackFormatFor(formats);
  bool any = false;
  for (Source& source : opened) {
    if (source.device && FAILED(source.device->Prepare(format_))) {
      source.device = ChosenId(source.kind).empty() ? nullptr : Opened(source.kind, std::wstring());
      if (source.device && FAILED(source.device->Prepare(format_))) source.device.reset();
    }
    any = any || source.device;
  }
  if (any) sources_ = std::move(opened);
  ShowWhatIsMissing();
}

bool SoundTrack::Missing(AudioSourceKind kind) const { return missing_[IndexOf(kind)].load(); }

void SoundTrack::Close() {
  Stop();
  sources_.clear();
  ShowWhatIsMissing();
}

void SoundTrack::Reopen(Source& source, bool stalled) {
  const uint64_t now = GetTickCount64();
  source.lookedAt = now;
  const std::wstring& chosen = ChosenId(source.kind);
  if (!stalled && source.device && WantedAudioDeviceId(source.kind, chosen) == source.device->DeviceId()) return;
  // At the track's format, whatever the new device's own.
  auto ready = [this](const std::unique_ptr<AudioSource>& device) {
    return device && SUCCEEDED(device->Prepare(format_)) && device->Start();
  };
  auto device = Opened(source.kind, chosen);
  bool started = ready(device);
  if (!started && !chosen.empty() && (!source.device || stalled)) {
    // The chosen device cannot be had: the default one stands in (unless it
    // does already, and goes on).
    device = Opened(source.kind, std::wstring());
    started = ready(device);
  }
  if (!started) {
    // A device that fell silent and cannot be opened again is gone.
    if (stalled) source.device.reset();
    return;
  }
  if (source.device) source.device->Stop();
  source.device = std::move(device);
  source.deliveredAt = now;
  if (stalled) source.stallMs = (std::min)(source.stallMs * 2, kLongestStallMs);
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
  AudioDeviceWatch watch;
  // A source that will not start, or that is lost on the way, is silence on
  // the recording clock until a device of its kind is there again; the
  // other goes on.
  for (Source& source : sources_) {
    if (source.device && !source.device->Start()) source.device.reset();
    source.deliveredAt = GetTickCount64();
    source.stallMs = kStalledMs;
  }
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
      Source& source = sources_[i];
      if (!source.device) continue;
      samples.clear();
      packets.clear();
      const bool live = source.device->Drain([&](const int16_t* data, uint32_t frames, uint64_t capturedHns) {
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
      if (!packets.empty()) {
        source.deliveredAt = GetTickCount64();
        source.stallMs = kStalledMs;
      }
      if (!live) {
        // Unplugged, or its service gone: the default device is looked for
        // at once.
        source.device.reset();
        source.lookedAt = 0;
      }
    }
  };
  // After a drain, so that a device replaced has given all it had.
  // (The status is worked out again only when a device was looked for: a
  // device lost in the drain is looked for in the same pass.)
  auto follow = [&] {
    const uint64_t now = GetTickCount64();
    bool looked = false;
    for (Source& source : sources_) {
      const bool stalled = source.device && now - source.deliveredAt >= source.stallMs;
      // A stand-in for the chosen device looks for it as often as a source
      // without a device looks for one.
      const std::wstring& chosen = ChosenId(source.kind);
      const bool lookAgain = now - source.lookedAt >= kLookAgainMs &&
                             (!source.device || (!chosen.empty() && source.device->DeviceId() != chosen));
      if (watch.TakeChange(source.kind) || stalled || lookAgain) {
        Reopen(source, stalled);
        looked = true;
      }
    }
    if (looked) ShowWhatIsMissing();
  };
  follow();
  while (!stopRequested_.load()) {
    Sleep(kPollIntervalMs);
    drain();
    follow();
    mixer.Mix(clock.Now(), false, write);
  }
  // The rest of the track, up to the recording's end, with what has come.
  drain();
  mixer.Mix(clock.Now(), true, write);
  for (Source& source : sources_) {
    if (source.device) source.device->Stop();
  }
  cpuTicks_ = ThreadCpuTicks();
}
