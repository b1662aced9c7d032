// The stand-in as mfreadwrite.dll beside a program that uses the platform's
// writer the ordinary way, as the end-to-end tests will use it.
#include <gtest/gtest.h>

#include "recorder/ScreenRecorder.h"
#include "tests/support/ScreenFixtures.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

TEST(StandInDll, ReplacesThePlatformWriterAndJournalsEveryCall) {
  TempDir dir;
  ScreenRecorder recorder;  // default factory: MFCreateSinkWriterFromURL
  ASSERT_TRUE(recorder.Start(dir.File(L"dll.mp4"), {0, 0, 64, 32}));
  PumpMessages(300);
  recorder.Stop();

  const auto lines = Lines(ReadFileBytes(dir.File(L"dll.mp4.standin.jsonl")));
  ASSERT_GT(lines.size(), 8u);
  EXPECT_TRUE(Has(lines[0], "\"step\":\"Create\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "dll.mp4\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "{\"key\":\"MF_SINK_WRITER_DISABLE_THROTTLING\",\"type\":\"u32\",\"value\":1}"));
  EXPECT_TRUE(Has(lines[1], "\"step\":\"AddStream\"")) << lines[1];
  EXPECT_TRUE(Has(lines[1], "{\"key\":\"MF_MT_FRAME_SIZE\",\"type\":\"u64\",\"value\":274877906976,\"high\":64,\"low\":32}"))
      << lines[1];
  EXPECT_TRUE(Has(lines.back(), "\"step\":\"Finalize\"")) << lines.back();
  int samples = 0;
  for (const std::string& line : lines) {
    if (Has(line, "\"step\":\"WriteSample\"")) {
      ++samples;
      EXPECT_TRUE(Has(line, "\"length\":8192")) << line;
      EXPECT_TRUE(Has(line, "\"duration\":333333")) << line;
    }
  }
  EXPECT_GE(samples, 5);
}

TEST(StandInDll, InjectedFailureReachesTheProgram) {
  TempDir dir;
  SetEnvironmentVariableW(L"QM_STANDIN_FAIL", L"SetInputMediaType@1=0xC00D36B4");
  ScreenRecorder recorder;
  EXPECT_FALSE(recorder.Start(dir.File(L"fail.mp4"), {0, 0, 64, 32}));
  SetEnvironmentVariableW(L"QM_STANDIN_FAIL", nullptr);
  const std::string journal = ReadFileBytes(dir.File(L"fail.mp4.standin.jsonl"));
  EXPECT_TRUE(Has(journal, "\"step\":\"SetInputMediaType\",\"result\":\"0xc00d36b4\"")) << journal;
  EXPECT_FALSE(FileExists(dir.File(L"fail.mp4")));
  EXPECT_EQ(recorder.state, RecorderState::Idle);
}

TEST(StandInDll, RawFramesAreKeptWhenAsked) {
  TempDir dir;
  SetEnvironmentVariableW(L"QM_STANDIN_RAW", L"1");
  ScreenRecorder recorder;
  ASSERT_TRUE(recorder.Start(dir.File(L"raw.mp4"), {0, 0, 32, 16}));
  PumpMessages(200);
  recorder.Stop();
  SetEnvironmentVariableW(L"QM_STANDIN_RAW", nullptr);
  const std::string journal = ReadFileBytes(dir.File(L"raw.mp4.standin.jsonl"));
  size_t samples = 0;
  for (size_t at = 0; (at = journal.find("\"step\":\"WriteSample\"", at)) != std::string::npos; ++at) ++samples;
  EXPECT_GT(samples, 0u);
  EXPECT_EQ(ReadFileBytes(dir.File(L"raw.mp4.standin.video")).size(), samples * 32 * 16 * 4);
}

}  // namespace
