// The time the finisher takes over an hour's recording: finished as a
// recording that ended well, and recovered after its last fragment was torn
// (the file cut in the middle of it). FFmpeg makes the recording once, at a
// tiny frame size but with an hour's fragments and samples (30 frames a
// second, a fragment every two seconds, AAC sound at 48 kHz), and it is kept
// in the given folder for the next run. Prints "name value" lines.
//   finisher_bench CACHE_DIR
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "recorder/Mp4Finisher.h"
#include "tests/support/Mp4Files.h"

namespace {

bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

// A finish of a fresh copy of the recording, cut at `cut` bytes (0: whole),
// in milliseconds.
double TimedFinish(const std::string& source, const std::string& copy, uint64_t cut, FinishResult& result) {
  if (!Sh("cp " + source + " " + copy) || (cut && truncate(copy.c_str(), static_cast<off_t>(cut)) != 0)) return -1;
  PosixMp4File file(copy);
  file.Flush();  // the copy on the disk first: its own finish flushes only what it writes
  const auto start = std::chrono::steady_clock::now();
  result = FinishFragmentedMp4(file);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "build/bench-cache";
  const std::string source = dir + "/one_hour.mp4", copy = dir + "/one_hour_finished.mp4";
  if (access(source.c_str(), F_OK) != 0) {
    std::printf("# finisher: making an hour's fragmented recording with FFmpeg, once\n");
    std::fflush(stdout);
    if (!Sh("mkdir -p " + dir + " && ffmpeg -v error -y -f lavfi -i testsrc2=size=16x16:rate=30 -f lavfi "
            "-i sine=f=440:r=48000 -t 3600 -c:v libx264 -g 60 -sc_threshold 0 -c:a aac -b:a 32k "
            "-movflags frag_keyframe+empty_moov " + source + ".part.mp4 && mv " + source + ".part.mp4 " + source)) {
      std::printf("# finisher: FFmpeg could not make the recording\n");
      return 1;
    }
  }
  FinishResult finished, recovered;
  const double finishMs = TimedFinish(source, copy, 0, finished);
  // The samples as the finished moov counts them.
  FILE* probe = popen(("ffprobe -v error -show_entries stream=nb_frames -of csv=p=0 " + copy).c_str(), "r");
  unsigned long samples = 0, count = 0;
  while (probe && std::fscanf(probe, "%lu", &count) == 1) samples += count;
  if (probe) pclose(probe);
  // The last fragment, a moof and its mdat, comes before FFmpeg's index of them.
  PosixMp4File whole(source);
  std::vector<Mp4Box> boxes = TopLevelBoxes(whole);
  while (boxes.size() > 2 && boxes[boxes.size() - 2].type != "moof") boxes.pop_back();
  const uint64_t lastMoof = boxes[boxes.size() - 2].offset;
  const uint64_t tornAt = lastMoof + (boxes.back().offset + boxes.back().size - lastMoof) / 2;
  const double recoverMs = TimedFinish(source, copy, tornAt, recovered);
  if (finished.outcome != FinishOutcome::Finished || recovered.outcome != FinishOutcome::Finished) {
    std::printf("# finisher: %s, recovered %s\n", FinishOutcomeName(finished.outcome),
                FinishOutcomeName(recovered.outcome));
    return 1;
  }
  std::printf("finish_one_hour_ms %.0f\nrecover_one_hour_ms %.0f\n", finishMs, recoverMs);
  std::printf("one_hour_fragments %u\none_hour_samples %lu\none_hour_duration_ms %llu\nrecovered_fragments %u\n",
              finished.fragments, samples, static_cast<unsigned long long>(finished.durationMs), recovered.fragments);
  return 0;
}
