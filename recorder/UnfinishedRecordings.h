#pragma once
// Recordings whose file is not finished yet. While a recording is written,
// its file is named in the registry; a normal stop finishes the file and
// takes the name away. A name still there at the next start is a recording
// whose process ended without a stop (a crash, a killed process, a power
// cut): that start finishes the file from its whole fragments.
#include <windows.h>

#include <string>
#include <vector>

#include "recorder/Mp4Finisher.h"

// Remembers the file (which must exist) as being written. False when it
// cannot be remembered; the recording goes on without that safety.
bool RememberUnfinished(const std::wstring& path);
void ForgetUnfinished(const std::wstring& path);

// Finishes the fragmented MP4 at `path` in place (Mp4Finisher.h).
// WriteFailed when it cannot be opened for that alone (another program
// keeps it open for writing): it stays remembered for the next start.
FinishResult FinishRecordingFile(const std::wstring& path);

struct RecoveredRecording {
  std::wstring path;
  bool recovered = false;  // finished now; otherwise it could not be, and is left as it was
  uint64_t durationMs = 0;
  uint64_t bytes = 0;
};

// Finishes every remembered file that is still the same file and still
// unfinished. Files that are gone, were replaced, are finished already or
// are being written by another process are left alone and not listed.
std::vector<RecoveredRecording> RecoverUnfinishedRecordings();
