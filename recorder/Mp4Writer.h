#pragma once
// The MP4 file of one recording: the platform's sink writer with its H.264
// stream (and its AAC stream when the recording has sound), the encoder's
// tuning, the pool of frame buffers the encoder gives back, and the lock that
// every write and the finish take, so that the video and audio threads can
// both write.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/Win32Handles.h"
#include "recorder/AudioMixer.h"
#include "recorder/MediaFoundation.h"
#include "recorder/RecorderTypes.h"
#include "recorder/VideoFormat.h"

class PooledFrameBuffer;

class Mp4Writer {
 public:
  // `factory` makes the sink writer: the platform's MFCreateSinkWriterFromURL
  // when null, which the program always uses. `clock` is the recording's:
  // how long the writer has refused samples is counted on it.
  Mp4Writer(SinkWriterFactory factory, const RecordingClock& clock);
  ~Mp4Writer();
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Creates the file at `path` with a video stream of `video`'s size at
  // `framesPerSecond` (30 or 60) and, when `sound` is given, a sound track
  // of that format. The machine's hardware encoder is asked for; one that
  // refuses the stream gives way to the software encoder. A sound stream
  // the platform refuses gives a file without sound (HasSound says so). On
  // failure no writer remains, a file it made is taken away again, and
  // `problem` says why.
  HRESULT Open(const std::wstring& path, VideoSize video, uint32_t framesPerSecond, const AudioTrackFormat* sound,
               RecorderProblem& problem);
  bool HasSound() const { return hasSound_; }
  // Between a successful Open and Finish.
  bool IsOpen();

  // A frame's memory, the video's width x height x 4 bytes, bottom row first, each
  // pixel blue, green, red and a byte that carries no colour. It comes from
  // a pool the encoder gives back to, so nothing is allocated per frame.
  class VideoFrame {
   public:
    VideoFrame();
    VideoFrame(VideoFrame&&) noexcept;
    VideoFrame& operator=(VideoFrame&&) noexcept;
    ~VideoFrame();
    explicit operator bool() const { return memory_ != nullptr; }
    uint8_t* memory() const { return memory_; }

   private:
    friend class Mp4Writer;
    ComPtr<IMFMediaBuffer> buffer_;
    uint8_t* memory_ = nullptr;
  };
  // Empty while the encoder still holds as many frames as it may fall
  // behind by (MaxVideoBacklogFrames): the frame is then not taken at all.
  VideoFrame NewVideoFrame();
  HRESULT WriteVideoFrame(VideoFrame frame, int64_t time);
  // The next `frames` frames of the sound track (null: silence), stamped
  // where the track has reached.
  HRESULT WriteSound(const int16_t* samples, uint32_t frames);
  // Finishes the file and lets the writer go; samples written afterwards
  // are dropped quietly.
  HRESULT Finish();

  // True once the writer has refused every sample for about two seconds of
  // recording: the rest is lost, and the recording is to be stopped.
  bool Refused() const { return refused_.load(); }
  // Frames not taken because the encoder had fallen behind.
  uint64_t FramesSkipped() const { return framesSkipped_.load(); }

 private:
  HRESULT ConfigureVideoStream(IMFSinkWriter* writer);
  HRESULT ConfigureAudioStream(IMFSinkWriter* writer, const AudioTrackFormat& sound);
  // The buffer's first `length` bytes as one sample of the stream.
  HRESULT WriteBuffer(DWORD stream, IMFMediaBuffer* buffer, DWORD length, LONGLONG time, LONGLONG duration);

  SinkWriterFactory factory_;
  const RecordingClock& clock_;
  // Serialises every call into writer_ that writes or finishes the file.
  std::mutex lock_;
  ComPtr<IMFSinkWriter> writer_;
  DWORD videoStream_ = 0, audioStream_ = 0;
  VideoSize video_;
  uint32_t framesPerSecond_ = kDefaultFramesPerSecond;
  bool hasSound_ = false;
  AudioTrackFormat sound_;
  uint64_t soundFramesWritten_ = 0;  // the audio thread's alone
  DWORD frameBytes_ = 0;
  std::vector<ComPtr<PooledFrameBuffer>> pool_;  // the video thread's alone
  // When the writer began refusing samples, in recorded ms (-1: it takes
  // them), under lock_.
  int64_t refusingSinceMs_ = -1;
  std::atomic<bool> refused_{false};
  std::atomic<uint64_t> framesSkipped_{0};
};
