#include "recorder/FrameScaler.h"

#include <algorithm>

namespace {

// Weights of one side; both sides' together (2^24) times 255 still fit in
// 32 bits with the rounding, so every sum is an unsigned 32-bit one.
constexpr int kWeightBits = 12;
constexpr uint32_t kOne = 1u << kWeightBits;

}  // namespace

// Source pixel i spans [i * to, (i + 1) * to), destination pixel d spans
// [d * from, (d + 1) * from): whole numbers throughout. Each weight is the
// difference of the rounded running sum, so a pixel's weights add up to kOne
// exactly and a plain colour stays that colour.
FrameScaler::Axis::Axis(int32_t from, int32_t to) {
  const int64_t f = from, t = to;
  taps = static_cast<int32_t>((f + t - 1) / t) + 1;
  first.resize(static_cast<size_t>(to));
  count.resize(static_cast<size_t>(to));
  weights.assign(static_cast<size_t>(to) * static_cast<size_t>(taps), 0);
  for (int64_t d = 0; d < t; ++d) {
    const int64_t begin = d * f, end = begin + f;
    const int64_t i0 = begin / t, i1 = std::min<int64_t>((end + t - 1) / t, f);
    first[static_cast<size_t>(d)] = static_cast<int32_t>(i0);
    count[static_cast<size_t>(d)] = static_cast<int32_t>(i1 - i0);
    int64_t covered = 0;
    uint32_t given = 0;
    for (int64_t i = i0; i < i1; ++i) {
      covered += std::min(end, (i + 1) * t) - std::max(begin, i * t);
      const uint32_t upTo = static_cast<uint32_t>((covered * kOne + f / 2) / f);
      weights[static_cast<size_t>(d * taps + (i - i0))] = upTo - given;
      given = upTo;
    }
  }
}

FrameScaler::FrameScaler(int32_t fromWidth, int32_t fromHeight, int32_t toWidth, int32_t toHeight)
    : fromWidth_(fromWidth),
      toWidth_(toWidth),
      columns_(fromWidth, toWidth),
      rows_(fromHeight, toHeight),
      sums_(static_cast<size_t>(fromWidth) * 4) {}

void FrameScaler::Scale(const uint8_t* from, uint8_t* to) {
  const size_t fromRow = static_cast<size_t>(fromWidth_) * 4, toRow = static_cast<size_t>(toWidth_) * 4;
  uint32_t* const sums = sums_.data();
  for (size_t y = 0; y < rows_.first.size(); ++y) {
    // The rows first, over the whole width: plain loops the compiler makes
    // into vector code.
    const uint8_t* row = from + static_cast<size_t>(rows_.first[y]) * fromRow;
    const uint32_t* weight = &rows_.weights[y * static_cast<size_t>(rows_.taps)];
    for (size_t i = 0; i < fromRow; ++i) sums[i] = row[i] * weight[0];
    for (int32_t k = 1; k < rows_.count[y]; ++k) {
      row += fromRow;
      const uint32_t w = weight[k];
      for (size_t i = 0; i < fromRow; ++i) sums[i] += row[i] * w;
    }
    Columns(sums, to + y * toRow);
  }
}

void FrameScaler::Columns(const uint32_t* sums, uint8_t* to) const {
  constexpr uint32_t kHalf = 1u << (2 * kWeightBits - 1);
  const size_t taps = static_cast<size_t>(columns_.taps);
  for (size_t x = 0; x < columns_.first.size(); ++x) {
    const uint32_t* pixel = sums + static_cast<size_t>(columns_.first[x]) * 4;
    const uint32_t* weight = &columns_.weights[x * taps];
    uint32_t b = kHalf, g = kHalf, r = kHalf, a = kHalf;
    for (int32_t k = 0; k < columns_.count[x]; ++k, pixel += 4) {
      b += pixel[0] * weight[k];
      g += pixel[1] * weight[k];
      r += pixel[2] * weight[k];
      a += pixel[3] * weight[k];
    }
    to[4 * x + 0] = static_cast<uint8_t>(b >> (2 * kWeightBits));
    to[4 * x + 1] = static_cast<uint8_t>(g >> (2 * kWeightBits));
    to[4 * x + 2] = static_cast<uint8_t>(r >> (2 * kWeightBits));
    to[4 * x + 3] = static_cast<uint8_t>(a >> (2 * kWeightBits));
  }
}
