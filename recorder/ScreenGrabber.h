#pragma once
// The screen side of a recording: a copy of the recorded rectangle with the
// mouse cursor drawn in, read out as the encoder takes it, at the video's
// size. Its device contexts, bitmap and scaler are made once per recording
// and reused for every frame.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "common/Win32Handles.h"
#include "recorder/FrameScaler.h"
#include "recorder/RecorderTypes.h"
#include "recorder/VideoFormat.h"

class ScreenGrabber {
 public:
  // For a rectangle already of the encoder's sizes (ApplySizeRules), read
  // out at its own size or scaled down to `video` (ScaledVideoSize).
  explicit ScreenGrabber(const CaptureRegion& region) : ScreenGrabber(region, {region.width, region.height}) {}
  ScreenGrabber(const CaptureRegion& region, VideoSize video);
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // False when the screen copy could not be made (no memory, a rectangle
  // too large): then nothing can be grabbed.
  bool Ready() const;
  const CaptureRegion& region() const { return region_; }

  // The rectangle as the screen shows it now, with the cursor, into
  // `frame`: the video's width x height x 4 bytes, bottom row first, each pixel blue,
  // green, red and a byte that carries no colour. False when the screen
  // could not be copied or read out; `frame` then holds nothing to show.
  bool Grab(uint8_t* frame);

 private:
  CaptureRegion region_;
  VideoSize video_;
  // When the video is smaller: the rectangle's own pixels, then the scaler.
  std::unique_ptr<uint8_t[]> copy_;
  std::unique_ptr<FrameScaler> scaler_;
  unique_screen_dc screen_;
  unique_hbitmap bitmap_;
  unique_hdc memory_;  // after the bitmap: the DC goes first, so the bitmap is no longer selected
  BITMAPINFO info_{};
};
