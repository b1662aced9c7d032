#pragma once
// Makes a smaller copy of a 32-bit frame (four bytes a pixel, rows packed,
// whatever the channels mean): each pixel of the copy is the average of the
// source area it covers, the pixels at its edges counted by the part of them
// it covers. Nothing is dropped between the samples, so small text stays
// readable. Platform-free.
#include <cstdint>
#include <vector>

class FrameScaler {
 public:
  // The weights are worked out here, once per recording.
  FrameScaler(int32_t fromWidth, int32_t fromHeight, int32_t toWidth, int32_t toHeight);

  // `from` is fromWidth x fromHeight x 4 bytes, `to` toWidth x toHeight x 4.
  void Scale(const uint8_t* from, uint8_t* to);

 private:
  // Along one side: the source pixels each destination pixel covers, the
  // first and how many, and their weights in 1/kOne (summing to kOne).
  struct Axis {
    Axis(int32_t from, int32_t to);
    std::vector<int32_t> first;
    std::vector<int32_t> count;
    std::vector<uint32_t> weights;  // `taps` a destination pixel
    int32_t taps = 0;
  };

  void Columns(const uint32_t* sums, uint8_t* to) const;

  int32_t fromWidth_, toWidth_;
  Axis columns_, rows_;
  std::vector<uint32_t> sums_;  // one destination row's sum of source rows
};
