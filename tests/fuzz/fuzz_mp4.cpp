// A recording's file of any bytes, finished in place in memory: it never
// writes outside the file, leaves what it refuses as it was and what it
// finished alone the next time, and a power cut after any of its writes
// (the input's last byte picks which) ends, with a second run, as one run.
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/Mp4Files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> input(data, data + size);
  MemoryMp4File once(input);
  const FinishOutcome outcome = FinishFragmentedMp4(once).outcome;
  FUZZ_CHECK(!once.outside && outcome != FinishOutcome::WriteFailed);
  FUZZ_CHECK(outcome == FinishOutcome::Finished || (once.bytes == input && once.writes == 0));
  if (outcome != FinishOutcome::Finished) return 0;
  MemoryMp4File again(once.bytes);
  FUZZ_CHECK(FinishFragmentedMp4(again).outcome == FinishOutcome::AlreadyFinished && again.writes == 0);

  MemoryMp4File cut(input);
  cut.writesLeft = data[size - 1] % (once.writes + 1), cut.tear = size & 1;
  FinishFragmentedMp4(cut);
  cut.writesLeft = -1;
  const FinishOutcome second = FinishFragmentedMp4(cut).outcome;
  FUZZ_CHECK(second == FinishOutcome::Finished || second == FinishOutcome::AlreadyFinished);
  FUZZ_CHECK(cut.bytes == once.bytes && !cut.outside);
  return 0;
}
