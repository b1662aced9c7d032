#pragma once
// Types shared by the recording engine and the windows that drive it.
// Platform-free: no <windows.h> here.
#include <cstdint>
#include <string>

// The rectangle to record, in physical screen pixels, origin at the primary
// monitor's top-left corner.
struct CaptureRegion {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

enum class RecorderState : int32_t {
  Idle = 0,
  Recording = 1,
  Paused = 2,
};

// Why a recording did not start, or ended before it was stopped.
enum class RecorderProblem : int32_t {
  None = 0,
  CannotCapture,      // the screen copy or the frame buffer could not be made
  CannotCreateFile,   // the writer could not make the file
  CannotEncode,       // the writer refused the H.264 or AAC streams
  NoMediaFoundation,  // the platform's media components are missing
  OutputRefused,      // samples refused for about two seconds: disk full, folder gone
  FinalizeFailed,     // the file could not be finished
  NothingWritten,     // stopped, and not one whole fragment reached the file
  LeftFragmented,     // the file plays, but could not be made a normal MP4
};

// What a recording is asked for when it starts.
struct RecordingOptions {
  std::wstring path;      // the MP4 file to make
  CaptureRegion region;   // made even and at least 16 x 16 by the engine
  bool microphone = false;
  bool computerSound = false;
  // The capture device's endpoint id; empty, or a device that is not there
  // at the start: the system's default microphone.
  std::wstring microphoneId{};
  // The largest video to make: a larger rectangle is scaled down to fit,
  // keeping its shape, never up. 0 x 0: the rectangle's own size.
  int32_t maxWidth = 0;
  int32_t maxHeight = 0;
  uint32_t framesPerSecond = 30;  // 30 or 60
};

// How a recording ended.
struct StopResult {
  RecorderProblem problem = RecorderProblem::None;
  std::wstring path;
  uint64_t recordedMs = 0;     // the recording's length, pauses left out
  uint64_t framesSkipped = 0;  // not taken: the encoder had fallen behind
};
