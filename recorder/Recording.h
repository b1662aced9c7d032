#pragma once
// One recording, from its start to its finished file: its clock, the screen
// grabber and the video thread that paces it, the sound track, and the MP4
// file both write into. Made anew by each start.
#include <atomic>
#include <thread>

#include "recorder/Mp4Writer.h"
#include "recorder/RecordingClock.h"
#include "recorder/ScreenGrabber.h"
#include "recorder/SoundTrack.h"
#include "recorder/VideoFormat.h"

class Recording {
 public:
  Recording(const RecordingOptions& options, SinkWriterFactory factory);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Opens the file and starts the threads. False when nothing records;
  // `problem` then says why.
  bool Start(RecorderProblem& problem);
  void Pause() { clock_.Pause(); }
  void Resume() { clock_.Resume(); }
  bool Paused() const { return clock_.Paused(); }
  uint64_t RecordedMs() const;
  // A source asked for that has no device now: the recording runs without it.
  bool MicrophoneMissing() const;
  bool ComputerSoundMissing() const;
  // The microphone chosen is not there: the default one is recorded instead.
  bool MicrophoneStandsIn() const;
  bool OutputRefused() const { return writer_.Refused(); }
  // Ends the threads and finishes the file.
  StopResult Stop();

 private:
  // The file with its streams: the sound sources asked for first, then the
  // writer with a sound track of theirs when there are any.
  bool OpenWriter(RecorderProblem& problem);
  void VideoLoop();

  RecordingOptions options_;  // of the size rules and a supported rate
  VideoSize video_;           // the rectangle's, or smaller to fit the largest size asked for
  RecordingClock clock_;
  ScreenGrabber grabber_;
  Mp4Writer writer_;
  SoundTrack sound_;  // after the writer: its thread writes into it
  std::atomic<bool> stopRequested_{false};
  std::thread videoThread_;
};

// One frame of the grabber's rectangle into the writer's video stream at
// `sampleTime` (100-ns units): the frame path of the video thread.
HRESULT CaptureFrame(ScreenGrabber& grabber, Mp4Writer& writer, int64_t sampleTime);

// The performance counter and its ticks a second: the recording clock's.
int64_t PerformanceCounter();
int64_t PerformanceFrequency();
