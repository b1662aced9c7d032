#include "recorder/AudioSource.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propvarutil.h>

#include "common/HResult.h"

namespace {

// The friendly-name key, defined here rather than through <initguid.h>,
// which would define every GUID of the headers above in this file.
constexpr PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr REFERENCE_TIME kDeviceBufferDuration = 3000000;  // 300 ms

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

std::vector<AudioDevice> AudioInputDevices() {
  std::vector<AudioDevice> names;
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
    unique_cotaskmem<wchar_t> id;
    // A name that reads back as anything but a string (an empty value, say)
    // has nothing to show: the device is left out.
    if (SUCCEEDED(properties->GetValue(kFriendlyName, &name.value)) && name.value.vt == VT_LPWSTR &&
        name.value.pwszVal && SUCCEEDED(device->GetId(id.put())) && id.get()) {
      names.push_back({id.get(), name.value.pwszVal});
    }
  }
  return names;
}

namespace {

EDataFlow FlowOf(AudioSourceKind kind) { return kind == AudioSourceKind::Microphone ? eCapture : eRender; }

// The chosen device when it is there, active and of the kind's flow; else
// the default one.
HRESULT WantedDevice(AudioSourceKind kind, const std::wstring& chosenId, ComPtr<IMMDevice>& device, std::wstring& id) {
  ComPtr<IMMDeviceEnumerator> enumerator;
  RETURN_IF_FAILED(MakeDeviceEnumerator(enumerator));
  DWORD state = 0;
  ComPtr<IMMEndpoint> endpoint;
  EDataFlow flow = eAll;
  if (!chosenId.empty() && SUCCEEDED(enumerator->GetDevice(chosenId.c_str(), &device)) &&
      SUCCEEDED(device->GetState(&state)) && state == DEVICE_STATE_ACTIVE &&
      SUCCEEDED(device.As(&endpoint)) && SUCCEEDED(endpoint->GetDataFlow(&flow)) && flow == FlowOf(kind)) {
    id = chosenId;
    return S_OK;
  }
  RETURN_IF_FAILED(enumerator->GetDefaultAudioEndpoint(FlowOf(kind), eConsole, device.ReleaseAndGetAddressOf()));
  unique_cotaskmem<wchar_t> text;
  RETURN_IF_FAILED(device->GetId(text.put()));
  id = text.get() ? text.get() : L"";
  return S_OK;
}

}  // namespace

std::wstring WantedAudioDeviceId(AudioSourceKind kind, const std::wstring& chosenId) {
  ComPtr<IMMDevice> device;
  std::wstring id;
  return SUCCEEDED(WantedDevice(kind, chosenId, device, id)) ? id : std::wstring();
}

HRESULT AudioSource::Open() {
  ComPtr<IMMDevice> device;
  RETURN_IF_FAILED(WantedDevice(kind_, chosenId_, device, deviceId_));
  RETURN_IF_FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(client_.ReleaseAndGetAddressOf())));
  RETURN_IF_FAILED(client_->GetMixFormat(mixFormat_.put()));
  if (!mixFormat_) return E_FAIL;

  const WAVEFORMATEX& format = *mixFormat_.get();
  uint32_t subFormat = 0, channelMask = 0;
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mixFormat_.get());
    subFormat = extensible->SubFormat.Data1;
    channelMask = extensible->dwChannelMask;
  }
  rate_ = format.nSamplesPerSec;
  layout_ = AudioLayout{format.nChannels, OutputChannelsFor(format.nChannels), format.wBitsPerSample,
                        IsFloatFormat(format.wFormatTag, subFormat), format.nBlockAlign, channelMask};
  // A format the conversion does not know gives no sound from this source,
  // never a read past the device's packets.
  if (rate_ == 0 || !IsKnownLayout(format.wFormatTag, subFormat, layout_)) return E_FAIL;
  return S_OK;
}

HRESULT AudioSource::Prepare(const AudioTrackFormat& track) {
  if (!client_) return E_UNEXPECTED;
  DWORD flags = kind_ == AudioSourceKind::ComputerSound ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
  const WAVEFORMATEX* format = mixFormat_.get();
  WAVEFORMATEX converted{};
  if (rate_ != track.sampleRate) {
    // 16-bit PCM at the track's rate, converted by the platform in shared
    // mode, which also mixes surround down to the one or two channels asked.
    const WORD channels = static_cast<WORD>(OutputChannelsFor(layout_.channels));
    converted.wFormatTag = WAVE_FORMAT_PCM;
    converted.nChannels = channels;
    converted.nSamplesPerSec = track.sampleRate;
    converted.wBitsPerSample = 16;
    converted.nBlockAlign = static_cast<WORD>(channels * 2);
    converted.nAvgBytesPerSec = track.sampleRate * converted.nBlockAlign;
    format = &converted;
    flags |= AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    layout_ = AudioLayout{channels, 0, 16, false, converted.nBlockAlign, 0};
    rate_ = track.sampleRate;
  }
  layout_.outputChannels = track.channels;
  RETURN_IF_FAILED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kDeviceBufferDuration, 0, format, nullptr));
  return client_->GetService(IID_PPV_ARGS(capture_.ReleaseAndGetAddressOf()));
}

bool AudioSource::Start() {
  started_ = capture_ && SUCCEEDED(client_->Start());
  return started_;
}

void AudioSource::Stop() {
  if (started_) client_->Stop();
  started_ = false;
}

bool AudioSource::Drain(const PacketSink& onPacket) {
  UINT32 packetFrames = 0;
  if (!capture_) return false;
  HRESULT hr = capture_->GetNextPacketSize(&packetFrames);
  while (SUCCEEDED(hr) && packetFrames > 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 capturedHns = 0;
    hr = capture_->GetBuffer(&data, &frames, &flags, nullptr, &capturedHns);
    if (FAILED(hr)) break;
    if (frames != 0) {
      const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
      if (!silent) {
        converted_.resize(static_cast<size_t>(frames) * layout_.outputChannels);
        ConvertPacket(data, frames, layout_, converted_.data());
      }
      onPacket(silent ? nullptr : converted_.data(), frames,
               (flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) ? 0 : capturedHns);
    }
    capture_->ReleaseBuffer(frames);
    hr = capture_->GetNextPacketSize(&packetFrames);
  }
  // Any other failure is waited out: the next pass asks again.
  return hr != AUDCLNT_E_DEVICE_INVALIDATED && hr != AUDCLNT_E_SERVICE_NOT_RUNNING;
}

class AudioDeviceWatch::Client final : public IMMNotificationClient {
 public:
  std::atomic<bool> changed[2] = {{false}, {false}};

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != __uuidof(IUnknown) && iid != __uuidof(IMMNotificationClient)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IMMNotificationClient*>(this);
    AddRef();
    return S_OK;
  }

  // Called on the platform's threads: only flags are set here, and the
  // audio thread looks at the devices itself.
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
    if (role == eConsole && flow == eCapture) changed[0] = true;
    if (role == eConsole && flow == eRender) changed[1] = true;
    return S_OK;
  }
  // A device that comes or goes may be the one a missing source waits for.
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Any(); }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Any(); }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Any(); }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  HRESULT Any() {
    changed[0] = changed[1] = true;
    return S_OK;
  }
  std::atomic<ULONG> references_{1};
};

AudioDeviceWatch::AudioDeviceWatch() {
  client_.Attach(new Client);
  // Without it, a source lost is still looked for from time to time.
  if (FAILED(MakeDeviceEnumerator(enumerator_)) ||
      FAILED(enumerator_->RegisterEndpointNotificationCallback(client_.Get()))) {
    enumerator_.Reset();
  }
}

AudioDeviceWatch::~AudioDeviceWatch() {
  if (enumerator_) enumerator_->UnregisterEndpointNotificationCallback(client_.Get());
}

bool AudioDeviceWatch::TakeChange(AudioSourceKind kind) {
  return client_->changed[kind == AudioSourceKind::Microphone ? 0 : 1].exchange(false);
}
