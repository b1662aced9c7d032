#pragma once
// The recording engine: one object per process that turns a screen rectangle
// into a paced stream of frames (and, with the audio flag, microphone sound)
// for the platform's MP4 sink writer.
//
// Start, Stop, Pause and Resume are called on the user-interface thread. A
// recording runs a video thread (and an audio thread when there is sound);
// both hand samples to the writer under writerLock.
#include <windows.h>
#include <audioclient.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Win32Handles.h"
#include "recorder/AudioFormat.h"
#include "recorder/MediaFoundation.h"
#include "recorder/RecorderTypes.h"

class ScreenRecorder {
 public:
  ScreenRecorder();
  ~ScreenRecorder();
  ScreenRecorder(const ScreenRecorder&) = delete;
  ScreenRecorder& operator=(const ScreenRecorder&) = delete;

  // True when a recording is running. Refused unless idle; `problem` then
  // says why.
  bool Start(const std::wstring& outputPath, const CaptureRegion& region);
  // Ends the recording and finishes the file; harmless when idle. A file
  // that cannot be finished leaves `problem` set.
  void Stop();
  // True once the writer has refused every sample for about two seconds: the
  // recording is lost from there on, and is to be stopped.
  bool OutputRefused() const { return outputRefused_.load(); }
  void Pause();
  void Resume();

  // The engine's thread is a single-threaded COM apartment for as long as the
  // engine exists. Declared first, so it is the last thing to go.
 private:
  ComApartment com_{COINIT_APARTMENTTHREADED};

 public:
  // The application's audio flag lives with the main window; the engine reads
  // it when a recording starts. Null reads as off.
  const bool* audioFlag = nullptr;
  // Where writers come from; null: the platform's MFCreateSinkWriterFromURL,
  // which the program always uses.
  SinkWriterFactory createSinkWriter = nullptr;

  // Friendly names of the active input devices, in the platform's order.
  std::vector<std::wstring> EnumerateAudioCaptureDevices();

  // --- Engine state. Written on the user-interface thread, read by workers.
  std::atomic<RecorderState> state{RecorderState::Idle};
  // Why the last Start failed or the last recording went wrong; None otherwise.
  std::atomic<RecorderProblem> problem{RecorderProblem::None};
  CaptureRegion region{};
  std::wstring outputPath;

  // --- What a recording is made of, open to the engine's tests and the
  // benchmark, which take its steps one at a time.
  ComPtr<IMFSinkWriter> sinkWriter;
  DWORD videoStreamIndex = 0;
  DWORD audioStreamIndex = 0;
  std::thread videoThread;
  // The input device's format as the stream is declared from it.
  uint32_t sampleRate = 0;
  uint32_t channels = 0;
  uint32_t outputChannels = 0;
  uint32_t bitsPerSample = 0;
  bool isFloat = false;
  uint32_t blockAlign = 0;
  bool audioReady = false;
  std::thread audioThread;
  // Serialises every call into sinkWriter that writes or finishes the file.
  std::mutex writerLock;

  // Screen copy, made in Start and reused for every frame.
  unique_screen_dc screenDC;
  unique_hdc memoryDC;
  unique_hbitmap bitmap;
  BITMAPINFO bitmapInfo{};
  std::unique_ptr<uint8_t[]> frameBuffer;
  uint32_t frameBufferSize = 0;

  // Frames whose capture was skipped because the encoder had fallen more than
  // about a second behind (the pacing grid still advances for them), and the
  // CPU time of the last recording's audio thread in 100-ns units: figures
  // of the benchmark.
  std::atomic<uint64_t> framesSkippedForBacklog{0};
  uint64_t audioThreadCpuTicks = 0;

  HRESULT CaptureFrame(int64_t sampleTime);
  void CreateCaptureResources();
  void ReleaseCaptureResources();
  HRESULT OpenWriter();
  HRESULT ConfigureVideoStream(IMFSinkWriter* writer);
  HRESULT ConfigureAudioStream(IMFSinkWriter* writer);
  // fill writes exactly length bytes into the media buffer's memory;
  // *filled tells whether it ran (the buffer was made and locked).
  HRESULT SubmitSample(DWORD streamIndex, DWORD length, const std::function<void(BYTE*)>& fill, LONGLONG time,
                       LONGLONG duration, bool* filled = nullptr);
  // data null: a silent packet.
  HRESULT WriteAudioPacket(const BYTE* data, UINT32 frames);
  // The device's format as the conversion reads it.
  AudioLayout Layout() const;

 private:
  void VideoLoop();
  HRESULT InitAudioClient();
  void AudioLoop();
  // Silence ahead of a first packet of `frames` that arrives late, so that
  // the sound keeps time with the picture.
  void PlaceFirstAudioPacket(UINT32 frames);
  void ReleaseAudioObjects();
  void JoinWorkers();

  bool audioEnabled = false;
  // Media Foundation, started by the first recording and shut down with the engine.
  bool mediaFoundationStarted_ = false;
  // When the writer began refusing samples (0: it takes them), under writerLock.
  uint64_t refusingSinceMs_ = 0;
  std::atomic<bool> outputRefused_{false};
  std::atomic<bool> stopRequested{false};
  ComPtr<IAudioClient> audioClient;
  ComPtr<IAudioCaptureClient> captureClient;
  unique_cotaskmem<WAVEFORMATEX> mixFormat;
  uint64_t audioFramesWritten = 0;
  // When Start began the recording, and whether it has been paused since:
  // the audio thread places a late first packet by them.
  LARGE_INTEGER recordingStart{};
  std::atomic<bool> pausedSinceStart{false};
};

// The whole primary screen, in physical pixels.
CaptureRegion PrimaryScreenRegion();

// The one engine of the process; null before it is made and after it is gone.
extern ScreenRecorder* g_recorder;
