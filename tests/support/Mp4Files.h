#pragma once
// Files for the MP4 finisher's tests, fuzz target and bench: one in memory
// that can lose its power at any write, one over a real file, and the
// top-level boxes of either.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recorder/Mp4Finisher.h"

// After `writesLeft` writes (Write or SetSize; -1: never) the power goes and
// later ones change nothing; with `tear`, the first of them still lands its
// first half when it spans more than a sector, as a disk may.
struct MemoryMp4File : Mp4File {
  explicit MemoryMp4File(std::vector<uint8_t> content) : bytes(std::move(content)) {}
  uint64_t Size() override { return bytes.size(); }
  bool Read(uint64_t at, void* data, size_t size) override {
    if (at > bytes.size() || size > bytes.size() - at) return false;
    return std::copy_n(bytes.data() + at, size, static_cast<uint8_t*>(data)), true;
  }
  bool Write(uint64_t at, const void* data, size_t size) override {
    outside |= at > bytes.size();  // it would leave a hole
    const bool powered = !outside && writesLeft != 0;
    if (!powered && (outside || !tear || size <= 512)) return false;
    if (!powered) size /= 2, tear = false;
    writes += powered, writesLeft -= powered && writesLeft > 0;
    if (at + size > bytes.size()) bytes.resize(at + size);
    return std::copy_n(static_cast<const uint8_t*>(data), size, bytes.data() + at), powered;
  }
  bool SetSize(uint64_t size) override {
    outside |= size > bytes.size();
    if (outside || writesLeft == 0) return false;
    writes++, writesLeft -= writesLeft > 0;
    return bytes.resize(size), true;
  }
  bool Flush() override { return true; }

  std::vector<uint8_t> bytes;
  long writesLeft = -1;
  bool tear = false, outside = false;  // outside: a write past the end, or a SetSize that grows
  int writes = 0;                      // that went through
};

// A short read or write is a failed one.
class PosixMp4File : public Mp4File {
 public:
  explicit PosixMp4File(const std::string& path) : fd_(open(path.c_str(), O_RDWR)) {}
  ~PosixMp4File() override { close(fd_); }
  uint64_t Size() override { return static_cast<uint64_t>(std::max<off_t>(lseek(fd_, 0, SEEK_END), 0)); }
  bool Read(uint64_t at, void* data, size_t size) override {
    return pread(fd_, data, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
  }
  bool Write(uint64_t at, const void* data, size_t size) override {
    return pwrite(fd_, data, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
  }
  bool SetSize(uint64_t size) override { return ftruncate(fd_, static_cast<off_t>(size)) == 0; }
  bool Flush() override { return fdatasync(fd_) == 0; }

 private:
  int fd_;
};

struct Mp4Box {
  std::string type;
  uint64_t offset, size;
};

// Up to the first box that does not fit; size 1 is a 64-bit size, 0 runs to the end.
inline std::vector<Mp4Box> TopLevelBoxes(Mp4File& file) {
  std::vector<Mp4Box> boxes;
  for (uint64_t at = 0, end = file.Size(); end - at >= 8;) {
    uint8_t h[16] = {};
    file.Read(at, h, end - at < 16 ? 8 : 16);
    uint64_t size = 0;
    for (int i = h[3] == 1 && !(h[0] | h[1] | h[2]) ? 8 : 0, last = i ? 16 : 4; i < last; ++i) size = size << 8 | h[i];
    size = size ? size : end - at;
    if (size < 8 || size > end - at) break;
    boxes.push_back({std::string(h + 4, h + 8), at, size});
    at += size;
  }
  return boxes;
}
