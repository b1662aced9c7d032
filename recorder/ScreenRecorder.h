#pragma once
// The recording engine as the main window sees it: one object per process
// that starts, pauses, resumes and stops recordings of a screen rectangle
// (with the microphone, the computer's sound, or both) into MP4 files. Each
// start makes a new Recording, which owns everything of it.
//
// Every call is made on the user-interface thread.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Win32Handles.h"
#include "recorder/AudioSource.h"
#include "recorder/MediaFoundation.h"
#include "recorder/RecorderTypes.h"

class Recording;

class ScreenRecorder {
 public:
  // `factory` makes the file's sink writer: the platform's when null, which
  // the program always uses; tests put a stand-in there.
  explicit ScreenRecorder(SinkWriterFactory factory = nullptr);
  ~ScreenRecorder();
  ScreenRecorder(const ScreenRecorder&) = delete;
  ScreenRecorder& operator=(const ScreenRecorder&) = delete;

  // True when a recording is running. Refused unless idle; Problem then
  // says why (None: it was busy).
  bool Start(const RecordingOptions& options);
  // Ends the recording and finishes the file; harmless when idle.
  StopResult Stop();
  void Pause();
  void Resume();

  RecorderState State() const;
  RecorderProblem Problem() const { return problem_; }
  // How long the recording has recorded so far, pauses left out; frozen
  // during a pause. 0 when idle.
  uint64_t RecordedMs() const;
  // The microphone or the computer's sound was asked for and has no device
  // now: the recording runs without it until one comes.
  bool MicrophoneMissing() const;
  bool ComputerSoundMissing() const;
  // The microphone chosen is not there: the default one is recorded instead
  // until it comes back.
  bool MicrophoneStandsIn() const;
  // The file refuses every sample: the recording is lost from there on,
  // and is to be stopped.
  bool OutputRefused() const;

  // The active input devices, in the platform's order.
  std::vector<AudioDevice> EnumerateAudioCaptureDevices() const;

 private:
  // The engine's thread is a single-threaded COM apartment for as long as
  // the engine exists. Declared first, so it is the last thing to go.
  ComApartment com_{COINIT_APARTMENTTHREADED};
  SinkWriterFactory factory_;
  // Media Foundation, started by the first recording and shut down with the engine.
  bool mediaFoundationStarted_ = false;
  RecorderProblem problem_ = RecorderProblem::None;
  std::unique_ptr<Recording> recording_;
};

// The whole primary screen, in physical pixels.
CaptureRegion PrimaryScreenRegion();

// The one engine of the process; null before it is made and after it is gone.
extern ScreenRecorder* g_recorder;
