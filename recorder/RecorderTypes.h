#pragma once
// Types shared by the recording engine and the windows that drive it.
// Platform-free: no <windows.h> here.
#include <cstdint>

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
};
