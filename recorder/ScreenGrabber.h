#pragma once
// The screen side of a recording: a copy of the recorded rectangle with the
// mouse cursor drawn in, read out as the encoder takes it. Its device
// contexts and bitmap are made once per recording and reused for every frame.
#include <windows.h>

#include <cstdint>

#include "common/Win32Handles.h"
#include "recorder/RecorderTypes.h"

class ScreenGrabber {
 public:
  // For a rectangle already of the encoder's sizes (ApplySizeRules).
  explicit ScreenGrabber(const CaptureRegion& region);
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // False when the screen copy could not be made (no memory, a rectangle
  // too large): then nothing can be grabbed.
  bool Ready() const;
  const CaptureRegion& region() const { return region_; }

  // The rectangle as the screen shows it now, with the cursor, into
  // `frame`: width x height x 4 bytes, bottom row first, each pixel blue,
  // green, red and a byte that carries no colour. False when the screen
  // could not be copied or read out; `frame` then holds nothing to show.
  bool Grab(uint8_t* frame);

 private:
  CaptureRegion region_;
  unique_screen_dc screen_;
  unique_hbitmap bitmap_;
  unique_hdc memory_;  // after the bitmap: the DC goes first, so the bitmap is no longer selected
  BITMAPINFO info_{};
};
