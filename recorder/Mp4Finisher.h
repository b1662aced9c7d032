#pragma once
// Turns a fragmented MP4 (what the recording writes, so that a crash loses
// at most its last fragment) into a normal one in place: a moov with the
// whole sample tables, built from the fragments' moofs, goes at the end; then
// every moof, every index of them and the first moov are turned into `free`
// boxes, so exactly one moov remains and the media is never copied. Players
// then show the length and can seek.
//
// The same step recovers a file whose writer died: a torn last fragment is
// cut and the moov is built from the complete ones. It is safe to repeat at
// any point, also after a power cut in the middle of it: the moov is written
// (and flushed) first, the fragments are hidden last, and a later run
// recognises fragments and a first moov that were already hidden.
//
// Platform-free: no <windows.h> here.
#include <cstddef>
#include <cstdint>

// The file, as the finisher needs it. Every call either does all it is asked
// or returns false.
class Mp4File {
 public:
  virtual ~Mp4File() = default;
  virtual uint64_t Size() = 0;
  virtual bool Read(uint64_t offset, void* data, size_t size) = 0;
  virtual bool Write(uint64_t offset, const void* data, size_t size) = 0;
  // The file ends at `size` (only ever made shorter, or as long as it is).
  virtual bool SetSize(uint64_t size) = 0;
  // What was written so far is on the disk.
  virtual bool Flush() = 0;
};

enum class FinishOutcome {
  Finished,         // it was fragmented and is now a normal MP4
  AlreadyFinished,  // a normal MP4 already: nothing was touched
  NotMp4,           // not an MP4 this can read: nothing was touched
  NoFragments,      // fragmented, but not one fragment is whole: nothing was touched
  Damaged,          // a whole fragment contradicts itself: nothing was touched
  WriteFailed,      // a write failed part way: the file can still be finished by a later run
};

struct FinishResult {
  FinishOutcome outcome = FinishOutcome::NotMp4;
  uint64_t durationMs = 0;   // of the finished file: its longest track
  uint32_t fragments = 0;    // whole fragments it holds
  uint64_t bytesCut = 0;     // of a torn last fragment (or an older finish's moov) after them
};

FinishResult FinishFragmentedMp4(Mp4File& file);

// A name for the outcome, for logs and test messages.
const char* FinishOutcomeName(FinishOutcome outcome);
