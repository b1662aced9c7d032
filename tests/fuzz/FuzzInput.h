#pragma once
// Reading a fuzzer's bytes as the values a target needs. The bytes run out
// as zeros, so every input is a whole case.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Take() {
    T value{};
    for (size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>(static_cast<uint64_t>(value) << 8 | Byte());
    return value;
  }
  // The bytes up to the next `separator` (or the end).
  std::string Piece(char separator) {
    std::string piece;
    while (pos_ < size_ && static_cast<char>(data_[pos_]) != separator) piece += static_cast<char>(data_[pos_++]);
    if (pos_ < size_) ++pos_;
    return piece;
  }
  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
    pos_ = size_;
    return rest;
  }
  // One text unit per byte.
  static std::wstring Wide(const std::string& bytes) {
    std::wstring wide;
    for (const unsigned char byte : bytes) wide += static_cast<wchar_t>(byte);
    return wide;
  }

 private:
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A broken rule: the fuzzer records the input that broke it.
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) std::abort(); \
  } while (0)
