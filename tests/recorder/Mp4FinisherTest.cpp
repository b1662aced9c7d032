#include "recorder/Mp4Finisher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/Mp4Files.h"

namespace {

// FFmpeg is the oracle: it makes fragmented files and decodes them again,
// in a folder of this process's own.
const std::string& Dir() {
  static const struct Temp {
    std::string path = testing::TempDir() + "finisher-" + std::to_string(getpid());
    Temp() { mkdir(path.c_str(), 0700); }
    ~Temp() { if (std::system(("rm -rf " + path).c_str())) {} }
  } temp;
  return temp.path;
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

// Three seconds (or -t) of a moving picture and a tone, made once.
std::vector<uint8_t> Make(const std::string& name, const std::string& args) {
  const std::string path = Dir() + "/" + name + ".mp4";
  if (access(path.c_str(), F_OK) != 0) {
    Shell("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=30:duration=3 -f lavfi -i sine=f=440:r=48000:d=3"
          " -c:v libx264 -g 30 -c:a aac " + args + " " + path);
  }
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
const char* const kTwoTracks = "-t 1 -g 10 -movflags frag_keyframe+empty_moov";

std::string Save(const std::vector<uint8_t>& bytes, size_t size, const char* name = "finished") {
  const std::string path = Dir() + "/" + name + ".mp4";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(size));
  return path;
}

// Each stream's decoded frames as FFmpeg stamps and hashes them, without
// their durations: FFmpeg reads a fragment's last one otherwise than a
// whole file's.
std::vector<std::vector<std::string>> Frames(const std::string& path) {
  std::istringstream lines(Shell("ffmpeg -v error -i " + path + " -fps_mode passthrough -f framemd5 -"));
  std::vector<std::vector<std::string>> streams(2);
  for (std::string line; std::getline(lines, line);) {
    const size_t duration = line.find(',', line.find(',', line.find(',') + 1) + 1);
    if (line[0] == '#') continue;
    streams.at(line[0] - '0').push_back(line.erase(duration, line.find(',', duration + 1) - duration));
  }
  return streams;
}
double Seconds(const std::string& path) {
  return std::stod(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + path));
}

// Where the first box of the type after `from` starts, or the size.
uint64_t Find(const std::vector<uint8_t>& bytes, const char* type, uint64_t from = 0) {
  const auto at = std::search(bytes.begin() + static_cast<long>(from), bytes.end(), type, type + 4);
  return at == bytes.end() ? bytes.size() : static_cast<uint64_t>(at - bytes.begin()) - 4;
}

// FFmpeg's ways of fragmenting; one with its last mdat running to the end
// (size 0), one whose fragments lie beyond 4 GiB, behind a 64-bit `free` box
// whose body is a hole (they do not name file offsets): 64-bit chunk offsets.
TEST(Mp4Finisher, FfmpegsFragmentedFilesPlayAlikeOnceFinished) {
  for (const std::string variant : {
           "no_b_frames -bf 0 -movflags frag_keyframe+empty_moov",
           "b_frames_base_moof_sidx -movflags frag_keyframe+empty_moov+default_base_moof+global_sidx",
           "every_frame -an -movflags frag_every_frame+empty_moov",  // FFmpeg's sound here contradicts its times
           ("trun_v1_64_bit_times_mdat_to_end -an -video_track_timescale 2000000000 -movflags "
            "frag_keyframe+empty_moov+negative_cts_offsets+skip_trailer"),
           "samples_in_first_moov -movflags frag_keyframe",
           "beyond_4_gib -movflags frag_keyframe+empty_moov+default_base_moof"}) {
    SCOPED_TRACE(variant);
    const std::string name = variant.substr(0, variant.find(' ')), original = Dir() + "/" + name + ".mp4";
    std::vector<uint8_t> bytes = Make(name, variant.substr(name.size()));
    const bool beyond4GiB = name == "beyond_4_gib";
    MemoryMp4File memory(bytes);
    if (name.find("to_end") != name.npos) std::fill_n(bytes.begin() + TopLevelBoxes(memory).back().offset, 4, 0);
    const uint64_t hole = beyond4GiB ? uint64_t{9} << 29 : 0, head = Find(bytes, "moof") + 16 * beyond4GiB;
    const uint8_t box[16] = {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0, 0, 0, 1, 32, 0, 0, 16};  // 16 + hole bytes
    if (beyond4GiB) bytes.insert(bytes.begin() + static_cast<long>(head) - 16, box, box + 16);
    const std::string finished = Save(bytes, head);
    PosixMp4File file(finished);
    file.Write(head + hole, &bytes[head], bytes.size() - head);
    const FinishResult result = FinishFragmentedMp4(file);
    ASSERT_EQ(result.outcome, FinishOutcome::Finished) << FinishOutcomeName(result.outcome);

    std::string types;
    std::vector<uint8_t> moov;
    for (const Mp4Box& box : TopLevelBoxes(file)) {
      types += box.type + " ";
      if (box.type == "moov") moov.resize(box.size), file.Read(box.offset, moov.data(), box.size);
    }
    EXPECT_TRUE(types.find("moov") == types.rfind("moov") && !moov.empty() && types.find("moof") == types.npos)
        << types;
    EXPECT_EQ(Find(moov, "mvex"), moov.size());
    EXPECT_LT(Find(moov, "stss"), moov.size());  // players seek to the key frames it lists
    EXPECT_EQ(Find(moov, "co64") < moov.size(), beyond4GiB);
    EXPECT_NEAR(Seconds(finished), Seconds(original), 0.05);
    EXPECT_NEAR(result.durationMs / 1000.0, Seconds(original), 0.05);
    EXPECT_EQ(Frames(finished), Frames(original));
  }
}

// Cut at every byte, a file finishes as its whole fragments alone do, or is
// refused; FFmpeg plays each of those as the beginning of the whole.
TEST(Mp4Finisher, FileCutAnywhereFinishesAsItsWholeFragments) {
  const std::vector<uint8_t> bytes = Make("two_tracks", kTwoTracks);
  std::vector<std::pair<uint64_t, MemoryMp4File>> wholes;  // where each fragment ends; finished there
  MemoryMp4File original(bytes);
  for (const Mp4Box& box : TopLevelBoxes(original)) {
    if (box.type != "mdat") continue;
    const uint64_t end = box.offset + box.size;
    wholes.emplace_back(end, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(end)));
    ASSERT_EQ(FinishFragmentedMp4(wholes.back().second).outcome, FinishOutcome::Finished);
  }
  ASSERT_GE(wholes.size(), 3u);
  for (uint64_t cut = 0; cut < bytes.size(); ++cut) {
    MemoryMp4File file({bytes.begin(), bytes.begin() + static_cast<long>(cut)});
    const auto upTo = std::find_if(wholes.rbegin(), wholes.rend(), [cut](const auto& w) { return w.first <= cut; });
    const FinishResult result = FinishFragmentedMp4(file);
    if (upTo == wholes.rend()) {
      ASSERT_TRUE(result.outcome == FinishOutcome::NoFragments || result.outcome == FinishOutcome::NotMp4) << cut;
      ASSERT_EQ(file.writes, 0) << cut;
    } else {
      ASSERT_EQ(result.outcome, FinishOutcome::Finished) << cut;
      ASSERT_EQ(result.bytesCut, cut - upTo->first) << cut;
      ASSERT_TRUE(file.bytes == upTo->second.bytes) << cut;
    }
  }
  const auto all = Frames(Dir() + "/two_tracks.mp4");
  for (const auto& [end, finished] : wholes) {
    const auto part = Frames(Save(finished.bytes, finished.bytes.size()));
    for (size_t stream = 0; stream < 2; ++stream) {
      ASSERT_TRUE(!part[stream].empty() && part[stream].size() <= all[stream].size()) << end;
      EXPECT_TRUE(std::equal(part[stream].begin(), part[stream].end(), all[stream].begin())) << end;
    }
  }
}

// Power lost after any of the finisher's writes, a long one landing in part
// or not at all: a second run ends with the file one run makes, which a
// third leaves alone. The torn file's tail is longer than the new moov.
TEST(Mp4Finisher, FinishCutShortByAPowerCutEndsAsOne) {
  const std::vector<uint8_t> whole = Make("two_tracks", kTwoTracks);
  const std::vector<uint8_t> torn(whole.begin(), whole.begin() + static_cast<long>(Find(whole, "mfra") - 100));
  for (const auto& [name, input] : {std::pair{"whole", whole}, {"torn", torn}}) {
    MemoryMp4File once(input);
    ASSERT_EQ(FinishFragmentedMp4(once).outcome, FinishOutcome::Finished);
    MemoryMp4File again(once.bytes);
    EXPECT_EQ(FinishFragmentedMp4(again).outcome, FinishOutcome::AlreadyFinished);
    EXPECT_TRUE(again.bytes == once.bytes && again.writes == 0);
    for (int k = 0; k <= once.writes * 2 + 1; ++k) {
      SCOPED_TRACE(testing::Message() << name << ", power lost after write " << k / 2 << (k % 2 ? ", torn" : ""));
      MemoryMp4File file(input);
      file.writesLeft = k / 2, file.tear = k % 2;
      const FinishOutcome first = FinishFragmentedMp4(file).outcome;
      EXPECT_EQ(first, k / 2 < once.writes ? FinishOutcome::WriteFailed : FinishOutcome::Finished);
      file.writesLeft = -1;
      const FinishOutcome second = FinishFragmentedMp4(file).outcome;
      EXPECT_TRUE(second == FinishOutcome::Finished || second == FinishOutcome::AlreadyFinished);
      ASSERT_TRUE(file.bytes == once.bytes);
    }
  }
}

// Whole fragments that contradict themselves, followed by a good one (a
// last one would be taken as torn), and FFmpeg's normal MP4, are left as
// they are.
TEST(Mp4Finisher, DoubtfulFilesAreLeftAsTheyAre) {
  const struct {
    const char *name, *box;
    int at;
    uint32_t value;
  } cases[] = {
      {"trun data beyond the file", "trun", 16, 1u << 30},
      {"first sample running past its mdat", "trun", 24, 1u << 20},
      {"moof without mfhd", "mfhd", 4, 0x736b6970 /* skip */},
      {"box of size 2 in a moof", "tfdt", 0, 2},
      {"normal MP4", nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = Make(c.box ? "two_tracks" : "normal", c.box ? kTwoTracks : "-t 1");
    const uint64_t at = c.box ? Find(bytes, c.box, Find(bytes, "moof")) + c.at : 0;
    for (int i = 0; c.box && i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(c.value >> (24 - 8 * i));
    MemoryMp4File file(bytes);
    EXPECT_EQ(FinishFragmentedMp4(file).outcome, c.box ? FinishOutcome::Damaged : FinishOutcome::AlreadyFinished)
        << c.name;
    EXPECT_TRUE(file.bytes == bytes && file.writes == 0) << c.name;
  }
}

}  // namespace
