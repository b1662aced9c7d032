// The engine's side of the microphone: the default input device and its
// conversion into the file's PCM.
#include "recorder/ScreenRecorder.h"

HRESULT ScreenRecorder::InitAudioClient() {
  // Device capture is not wired in yet: the device counts as unavailable, so
  // a recording with the audio flag on is made with video only, as it is
  // when no microphone exists.
  audioReady = false;
  audioFramesWritten = 0;
  ReleaseAudioObjects();
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

void ScreenRecorder::ReleaseAudioObjects() {
  captureClient.Reset();
  audioClient.Reset();
  mixFormat.reset();
  audioReady = false;
}
