#pragma once
// Size, rate and backlog rules of the recorded video stream. Platform-free.
#include <cstdint>

#include "recorder/RecorderTypes.h"

// Media times are in 100-ns units.
constexpr int64_t kMediaTicksPerMs = 10000;
// Every frame is declared one thirtieth of a second long (rounded down).
constexpr int64_t kVideoFrameDuration = 333333;
constexpr uint32_t kVideoFramesPerSecond = 30;
// The encoder may hold this many frames it has not yet let go of (about a
// second of video) before the engine stops taking new ones.
constexpr uint64_t kMaxVideoBacklogFrames = 30;

// Encoders want even sides and refuse tiny frames: at least 16, rounded down
// to even. Position is kept as is; the rectangle is never clipped.
CaptureRegion ApplySizeRules(CaptureRegion region);

// Constant bit rate scaled by area from 8 Mbit/s at 1920 x 1080, kept
// between 4 and 50 Mbit/s.
uint32_t VideoBitRate(int32_t width, int32_t height);

// Bytes of one 32-bit frame, or 0 when the product does not fit in 32 bits
// (no buffer is then made and every capture is refused).
uint32_t FrameBufferBytes(int32_t width, int32_t height);
