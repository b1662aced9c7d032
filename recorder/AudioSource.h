#pragma once
// One source of a recording's sound: the input device the user chose, or the
// default one (the microphone), or what the default output device plays (the
// computer's sound, captured in loopback). Polled in shared mode; its packets come out
// in the track's format with their capture times.
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/Win32Handles.h"
#include "recorder/AudioFormat.h"
#include "recorder/AudioMixer.h"

enum class AudioSourceKind { Microphone, ComputerSound };

class AudioSource {
 public:
  // `chosenId`: the endpoint to record from when it is there; empty, or
  // absent, the default device of the kind.
  AudioSource(AudioSourceKind kind, std::wstring chosenId) : kind_(kind), chosenId_(std::move(chosenId)) {}
  AudioSource(const AudioSource&) = delete;
  AudioSource& operator=(const AudioSource&) = delete;

  // Activates the chosen device, or the default one of its kind, and reads
  // its shared format; fails when there is no such device or its format
  // cannot be converted.
  HRESULT Open();
  // The endpoint id of the device opened.
  const std::wstring& DeviceId() const { return deviceId_; }
  uint32_t DeviceRate() const { return rate_; }
  uint32_t DeviceChannels() const { return layout_.channels; }
  // Sets the stream up to deliver at the track's rate (the platform converts
  // when the device runs at another), its frames converted to the track's
  // channels.
  HRESULT Prepare(const AudioTrackFormat& track);
  // False: the device will not start, and this source stays silent.
  bool Start();
  void Stop();

  // A packet in the track's format (null when the device marked it silent),
  // its frames, and the performance counter in 100-ns units when its first
  // frame was captured (0 when the device did not say).
  using PacketSink = std::function<void(const int16_t* samples, uint32_t frames, uint64_t capturedHns)>;
  // Hands over every packet that is ready. False once the device is gone
  // (unplugged, its audio service stopped): it will deliver nothing more.
  bool Drain(const PacketSink& onPacket);

 private:
  AudioSourceKind kind_;
  std::wstring chosenId_;
  std::wstring deviceId_;
  ComPtr<IAudioClient> client_;
  ComPtr<IAudioCaptureClient> capture_;
  unique_cotaskmem<WAVEFORMATEX> mixFormat_;
  uint32_t rate_ = 0;
  AudioLayout layout_;
  bool started_ = false;
  std::vector<int16_t> converted_;
};

// An active input device: its endpoint id and its friendly name.
struct AudioDevice {
  std::wstring id, name;
};
// The active input devices, in the platform's order.
std::vector<AudioDevice> AudioInputDevices();

// The endpoint id of the device a source of this kind records from now: the
// chosen one while it is there and active, else the default one; empty
// when there is none.
std::wstring WantedAudioDeviceId(AudioSourceKind kind, const std::wstring& chosenId);

// Word from the platform that the default device of a kind may have changed
// (another default, a device added, removed, enabled or disabled), kept
// until taken. Registered for as long as it exists, on the thread that
// makes it.
class AudioDeviceWatch {
 public:
  AudioDeviceWatch();
  ~AudioDeviceWatch();
  AudioDeviceWatch(const AudioDeviceWatch&) = delete;
  AudioDeviceWatch& operator=(const AudioDeviceWatch&) = delete;

  // True once after each change that concerns `kind`.
  bool TakeChange(AudioSourceKind kind);

 private:
  class Client;
  ComPtr<IMMDeviceEnumerator> enumerator_;
  ComPtr<Client> client_;
};
