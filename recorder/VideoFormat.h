#pragma once
// Size, rate and backlog rules of the recorded video stream. Platform-free.
#include <cstdint>

#include "recorder/RecorderTypes.h"

// Media times are in 100-ns units.
constexpr int64_t kMediaTicksPerMs = 10000;
constexpr uint32_t kDefaultFramesPerSecond = 30;

// The rates a recording can be made at, 30 and 60; any other asked for is 30.
uint32_t SupportedFrameRate(uint32_t asked);

// Every frame is declared 1/fps s long, to the nearest 100 ns: 333333 at 30,
// 166667 at 60.
int64_t VideoFrameDuration(uint32_t framesPerSecond);
// The encoder may hold this many frames of `frameBytes` it has not yet let
// go of (about a second of video, and never more than 1 GiB of them: a 4K
// frame is 33 MB) before the engine stops taking new ones.
uint64_t MaxVideoBacklogFrames(uint32_t framesPerSecond, uint32_t frameBytes);
// A key frame every two seconds.
uint32_t KeyFrameInterval(uint32_t framesPerSecond);

// Encoders want even sides and refuse tiny frames: at least 16, rounded down
// to even. Position is kept as is; the rectangle is never clipped.
CaptureRegion ApplySizeRules(CaptureRegion region);

struct VideoSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const VideoSize& other) const { return width == other.width && height == other.height; }
  bool operator!=(const VideoSize& other) const { return !(*this == other); }
};

// The video of a `width` x `height` rectangle (already of the size rules):
// scaled down to fit inside `maxWidth` x `maxHeight` when it is larger in
// either direction, keeping its shape, with even sides of the size rules;
// never scaled up. A limit of 0 (or less) limits nothing.
VideoSize ScaledVideoSize(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight);

// Constant bit rate scaled by area from 8 Mbit/s at 1920 x 1080 and 30
// frames a second, half as much again for every further 30 frames, kept
// between 4 and 50 Mbit/s.
uint32_t VideoBitRate(int32_t width, int32_t height, uint32_t framesPerSecond);

// Bytes of one 32-bit frame, or 0 when the product does not fit in 32 bits
// (no buffer is then made and every capture is refused).
uint32_t FrameBufferBytes(int32_t width, int32_t height);
