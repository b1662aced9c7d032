#pragma once
// The recording engine: one object per process that turns a screen rectangle
// into a paced stream of frames (and the sound of the microphone, of the
// computer, or of both mixed) for the platform's MP4 sink writer.
//
// Start, Stop, Pause and Resume are called on the user-interface thread. A
// recording runs a video thread (and an audio thread when there is sound);
// both hand samples to the writer under writerLock.
#include <windows.h>
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
#include "recorder/AudioMixer.h"
#include "recorder/MediaFoundation.h"
#include "recorder/RecorderTypes.h"

class AudioSource;

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
  // The microphone's flag and the computer sound's live with the main
  // window; the engine reads them when a recording starts. Null reads as off.
  const bool* audioFlag = nullptr;
  const bool* computerSoundFlag = nullptr;
  // The computer's sound was asked for and could not be had: the recording
  // runs without it. Set by Start.
  std::atomic<bool> computerSoundMissing{false};
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
  // The sound track's format, as its stream is declared.
  AudioTrackFormat audioFormat;
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
  // The next `frames` frames of the sound track (null: silence).
  HRESULT WriteAudio(const int16_t* samples, uint32_t frames);
  // Whether the recording being made has sound.
  bool HasSound() const { return !audioSources_.empty(); }

 private:
  void VideoLoop();
  // The sources the flags ask for that can be had, and the track's format.
  void OpenAudioSources();
  void AudioLoop();
  void ReleaseAudioObjects();
  void JoinWorkers();

  bool audioEnabled = false;
  bool computerSoundEnabled = false;
  // Media Foundation, started by the first recording and shut down with the engine.
  bool mediaFoundationStarted_ = false;
  // When the writer began refusing samples (0: it takes them), under writerLock.
  uint64_t refusingSinceMs_ = 0;
  std::atomic<bool> outputRefused_{false};
  std::atomic<bool> stopRequested{false};
  std::vector<std::unique_ptr<AudioSource>> audioSources_;
  uint64_t audioFramesWritten = 0;
  // When Start began the recording: the sound's clock starts there.
  LARGE_INTEGER recordingStart{};
};

// The whole primary screen, in physical pixels.
CaptureRegion PrimaryScreenRegion();

// The one engine of the process; null before it is made and after it is gone.
extern ScreenRecorder* g_recorder;
