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
