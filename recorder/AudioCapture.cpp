// The engine's side of the microphone: the list of input devices, the
// default input device in shared mode, the audio thread that polls it, and
// the conversion of its packets into the file's PCM.
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
#include <propvarutil.h>

#include <algorithm>

#include "common/HResult.h"
#include "recorder/AudioFormat.h"
#include "recorder/FramePacer.h"
#include "recorder/ScreenRecorder.h"

namespace {

// The friendly-name key, defined here rather than through <initguid.h>,
// which would define every GUID of the headers above in this file.
constexpr PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr REFERENCE_TIME kDeviceBufferDuration = 3000000;  // 300 ms
constexpr DWORD kPollIntervalMs = 8;

HRESULT MakeDeviceEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator) {
  return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator));
}

// PROPVARIANT that clears itself.
struct PropVariant {
  PROPVARIANT value;
  PropVariant() { PropVariantInit(&value); }
  ~PropVariant() { PropVariantClear(&value); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;
};

}  // namespace

std::vector<std::wstring> ScreenRecorder::EnumerateAudioCaptureDevices() {
  std::vector<std::wstring> names;
  ComPtr<IMMDeviceEnumerator> enumerator;
  if (FAILED(MakeDeviceEnumerator(enumerator))) return names;
  ComPtr<IMMDeviceCollection> devices;
  UINT count = 0;
  if (FAILED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &devices)) ||
      FAILED(devices->GetCount(&count))) {
    return names;
  }
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    ComPtr<IPropertyStore> properties;
    if (FAILED(devices->Item(i, &device)) || FAILED(device->OpenPropertyStore(STGM_READ, &properties))) continue;
    PropVariant name;
    // A name that reads back as anything but a string (an empty value, say)
    // has nothing to show: the device is left out.
    if (SUCCEEDED(properties->GetValue(kFriendlyName, &name.value)) && name.value.vt == VT_LPWSTR &&
        name.value.pwszVal) {
      names.emplace_back(name.value.pwszVal);
    }
  }
  return names;
}

HRESULT ScreenRecorder::InitAudioClient() {
  audioReady = false;
  audioFramesWritten = 0;
  auto open = [this]() -> HRESULT {
    ComPtr<IMMDeviceEnumerator> enumerator;
    RETURN_IF_FAILED(MakeDeviceEnumerator(enumerator));
    ComPtr<IMMDevice> device;
    RETURN_IF_FAILED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device));
    RETURN_IF_FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(audioClient.ReleaseAndGetAddressOf())));
    RETURN_IF_FAILED(audioClient->GetMixFormat(mixFormat.put()));
    if (!mixFormat) return E_FAIL;

    const WAVEFORMATEX& format = *mixFormat.get();
    sampleRate = format.nSamplesPerSec;
    channels = format.nChannels;
    bitsPerSample = format.wBitsPerSample;
    uint32_t subFormat = 0;
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
      subFormat = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mixFormat.get())->SubFormat.Data1;
    }
    isFloat = IsFloatFormat(format.wFormatTag, subFormat);
    blockAlign = format.nBlockAlign;
    // A format the conversion does not know gives a recording without sound,
    // never a read past the device's packets.
    if (sampleRate == 0 || !IsKnownLayout(format.wFormatTag, subFormat, Layout())) return E_FAIL;

    RETURN_IF_FAILED(audioClient->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kDeviceBufferDuration, 0, mixFormat.get(),
                                             nullptr));
    RETURN_IF_FAILED(audioClient->GetService(IID_PPV_ARGS(captureClient.ReleaseAndGetAddressOf())));
    return S_OK;
  };
  const HRESULT hr = open();
  if (FAILED(hr)) {
    ReleaseAudioObjects();
    return hr;
  }
  audioReady = true;
  return S_OK;
}

void ScreenRecorder::ReleaseAudioObjects() {
  captureClient.Reset();
  audioClient.Reset();
  mixFormat.reset();
  audioReady = false;
}

void ScreenRecorder::AudioLoop() {
  ComApartment com(COINIT_MULTITHREADED);
  // A device that will not start, or that stops delivering (unplugged, its
  // driver or sound server gone), leaves the sound to silence on the
  // recording clock: an MP4 file holds its video back, in memory, until the
  // sound reaches the same time.
  const bool started = SUCCEEDED(audioClient->Start());
  bool placed = false;
  LARGE_INTEGER frequency, last;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&last);
  int64_t recordedTicks = 0;  // of the performance counter, pauses left out
  while (!stopRequested.load()) {
    Sleep(kPollIntervalMs);
    UINT32 packetFrames = 0;
    if (started && SUCCEEDED(captureClient->GetNextPacketSize(&packetFrames))) {
      while (packetFrames > 0 && !stopRequested.load()) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        if (FAILED(captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
        // Paused (or stopping): the packet is drained and dropped, so the
        // audio time line, counted in written frames, has no gap.
        if (frames != 0 && state.load() == RecorderState::Recording) {
          if (!placed) PlaceFirstAudioPacket(frames);
          placed = true;
          WriteAudioPacket((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data, frames);
        }
        captureClient->ReleaseBuffer(frames);
        if (FAILED(captureClient->GetNextPacketSize(&packetFrames))) break;
      }
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // A counter that went back adds nothing.
    if (state.load() == RecorderState::Recording && now.QuadPart > last.QuadPart) {
      recordedTicks += now.QuadPart - last.QuadPart;
    }
    last = now;
    const uint64_t due = CounterUnits(0, recordedTicks, frequency.QuadPart, sampleRate);
    uint64_t missing = AudioGapFrames(due, audioFramesWritten, sampleRate);
    // In packets of a tenth of a second, as a device would send them.
    while (missing > 0 && !stopRequested.load()) {
      const UINT32 n = static_cast<UINT32>((std::min)(missing, static_cast<uint64_t>(sampleRate / 10 + 1)));
      WriteAudioPacket(nullptr, n);
      missing -= n;
    }
  }
  if (started) audioClient->Stop();
  FILETIME created, exited, kernel, user;
  if (GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) {
    auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    audioThreadCpuTicks = ticks(kernel) + ticks(user);
  }
}

void ScreenRecorder::PlaceFirstAudioPacket(UINT32 frames) {
  // After a pause the clock no longer tells where the packet belongs.
  if (pausedSinceStart.load() || audioFramesWritten != 0) return;
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const int64_t arrivalMs = ClockMs(recordingStart.QuadPart, now.QuadPart, frequency.QuadPart);
  uint64_t silence = LeadingSilenceFrames(arrivalMs, frames, sampleRate);
  // In packets of a tenth of a second, as the device would have sent them.
  const uint64_t chunk = sampleRate / 10 ? sampleRate / 10 : 1;
  while (silence > 0 && !stopRequested.load()) {
    const UINT32 n = static_cast<UINT32>(silence < chunk ? silence : chunk);
    WriteAudioPacket(nullptr, n);
    silence -= n;
  }
}

AudioLayout ScreenRecorder::Layout() const {
  return AudioLayout{channels, OutputChannelsFor(channels), bitsPerSample, isFloat, blockAlign};
}

HRESULT ScreenRecorder::WriteAudioPacket(const BYTE* data, UINT32 frames) {
  const AudioLayout layout = Layout();
  const AudioPacketTime timing = AudioPacketTiming(audioFramesWritten, frames, sampleRate);
  bool filled = false;
  const HRESULT hr = SubmitSample(
      audioStreamIndex, AudioPayloadBytes(outputChannels, frames),
      [&](BYTE* target) { ConvertPacket(data, frames, layout, reinterpret_cast<int16_t*>(target)); }, timing.time,
      timing.duration, &filled);
  // A packet lost once its buffer was made still takes its place on the time
  // line, so the next one is stamped where it belongs.
  if (filled) audioFramesWritten += frames;
  return hr;
}
