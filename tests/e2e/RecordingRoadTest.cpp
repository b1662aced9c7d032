// One recording as a user makes it, start to end: a region dragged, then
// record, pause, resume and stop clicked with the real pointer; the frames and
// sound the program handed to the writer are read back and compared with what
// the screen and the sound server had.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/StatusText.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"

namespace {

constexpr int kSceneX = 640, kSceneY = 420;
// Where the pointer rests on the scene (scene coordinates) while recording.
constexpr int kPointerX = 200, kPointerY = 120;

// The raw frames of a recording, each width x height BGRX, bottom row first.
std::vector<std::vector<uint8_t>> ReadRawFrames(const std::wstring& path, int width, int height) {
  const std::string bytes = ReadFileBytes(path);
  const size_t frameBytes = static_cast<size_t>(width) * height * 4;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
  }
  return frames;
}

// The frequency of a tone in 16-bit PCM, from its rising zero crossings on
// the first channel.
double ToneFrequency(const std::string& pcm, int sampleRate, int channels) {
  const size_t frames = pcm.size() / (2u * channels);
  if (frames < 2) return 0;
  int crossings = 0;
  int16_t previous = 0;
  for (size_t i = 0; i < frames; ++i) {
    int16_t sample;
    std::memcpy(&sample, pcm.data() + i * 2 * channels, 2);
    if (i > 0 && previous < 0 && sample >= 0) ++crossings;
    previous = sample;
  }
  return crossings * static_cast<double>(sampleRate) / static_cast<double>(frames);
}

// What the frames of one recording show of the scene.
struct SceneReading {
  std::vector<uint32_t> clock;      // per frame
  int framesWithCursor = 0;         // differences only in the pointer's box
  int framesWrongOutsideCursor = 0; // differences anywhere else
};

SceneReading ReadScene(const std::vector<std::vector<uint8_t>>& frames, int width, int height, int originX,
                       int originY, POINT pointer) {
  SceneReading reading;
  for (const auto& frame : frames) {
    auto pixel = [&](int x, int y) { return FramePixel(frame, width, height, originX + x, originY + y); };
    const uint32_t ms = LiveScene::ReadClock(pixel);
    reading.clock.push_back(ms);
    int inBox = 0, outside = 0;
    for (int y = LiveScene::kStripHeight; y < LiveScene::kHeight; ++y) {
      for (int x = 0; x < LiveScene::kWidth; ++x) {
        if (pixel(x, y) == LiveScene::PatternAt(x, y, ms)) continue;
        const bool box = x >= pointer.x - 2 && x < pointer.x + 34 && y >= pointer.y - 2 && y < pointer.y + 34;
        ++(box ? inBox : outside);
      }
    }
    if (outside > 0) ++reading.framesWrongOutsideCursor;
    else if (inBox > 0) ++reading.framesWithCursor;
  }
  return reading;
}

TEST_F(EndToEndTest, RecordPauseResumeStop) {
  LiveScene scene(kSceneX, kSceneY);
  ScopedEnvironment env({{L"QM_STANDIN_RAW", L"1"}});
  ASSERT_NO_FATAL_FAILURE(Start());
  RECT mainRect;
  GetWindowRect(main_, &mainRect);
  EXPECT_TRUE(SaveScreenshot(mainRect, L"main-window"));  // for people to look at
  HWND status = GetDlgItem(main_, IDC_STATUS);
  EXPECT_EQ(TextOf(status), kStatusReady);
  const std::wstring folder = TextOf(GetDlgItem(main_, IDC_FOLDER));  // the default folder
  ASSERT_FALSE(folder.empty());
  CleanUpAfter(folder, L"Quillomat_*");

  // The overlay comes up with the main window out of the way; Escape gives
  // up and brings the window back.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  HWND overlay = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(overlay, nullptr);
  EXPECT_FALSE(IsWindowVisible(main_));
  PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay) && IsWindowVisible(main_); }));
  // A drag from 20 pixels above and left of the scene to 21 pixels below and
  // right of it: 361 x 241, which the engine makes even.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  overlay = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(overlay, nullptr);
  Sleep(200);
  MovePointer(kSceneX - 20, kSceneY - 20);
  Xdotool(L"mousedown 1");
  Sleep(100);  // X input arrives on its own time
  MovePointer(kSceneX + 100, kSceneY + 100);
  MovePointer(kSceneX + LiveScene::kWidth + 21, kSceneY + LiveScene::kHeight + 21);
  Sleep(100);
  Xdotool(L"mouseup 1");
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }));
  constexpr int kWidth = 360, kHeight = 240;

  ClickOn(GetDlgItem(main_, IDC_RECORD));
  ASSERT_TRUE(WaitForText(status, IsRecordingStatus)) << Narrow(TextOf(status));
  MovePointer(kSceneX + kPointerX, kSceneY + kPointerY);
  Sleep(1200);
  EXPECT_TRUE(IsRecordingStatus(TextOf(status)));
  const std::wstring afterOneSecond = TextOf(status);

  // Paused, the duration stands still where the pause began. The pause
  // begins during the first click and ends during the second.
  const DWORD beforePause = GetTickCount();
  ClickOn(GetDlgItem(main_, IDC_PAUSE));
  const DWORD afterPause = GetTickCount();
  Sleep(300);
  const std::wstring frozen = TextOf(status);
  EXPECT_TRUE(IsRecordingStatus(frozen)) << Narrow(frozen);
  Sleep(1500);
  EXPECT_EQ(TextOf(status), frozen);
  const double shortestPause = GetTickCount() - afterPause;
  ClickOn(GetDlgItem(main_, IDC_PAUSE));
  const double longestPause = GetTickCount() - beforePause;
  Sleep(1200);
  // Running again from where it stood: about 2.4 s of recording so far.
  EXPECT_EQ(TextOf(status), std::wstring(kStatusRecordingPrefix) + L"00:00:02");

  ClickOn(GetDlgItem(main_, IDC_RECORD));
  ASSERT_TRUE(WaitForTextEqual(status, kStatusReady, 10000)) << Narrow(TextOf(status));
  EXPECT_NE(afterOneSecond, std::wstring(kStatusRecordingPrefix) + L"00:00:00");
  EXPECT_TRUE(CloseNormally(main_, *program_));

  const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const Recording rec = ReadRecording(file);
  ASSERT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_EQ(rec.width, kWidth);
  EXPECT_EQ(rec.height, kHeight);

  // Video: every slot of the 33 ms grid of recorded time taken once, none
  // early, none long late; the pause leaves no hole in the times.
  ASSERT_GE(rec.video.size(), 60u);
  std::vector<int64_t> lateness;
  for (size_t i = 0; i < rec.video.size(); ++i) {
    const int64_t slot = static_cast<int64_t>(i) * 330000;
    EXPECT_GE(rec.video[i].time, slot) << "frame " << i;
    lateness.push_back(rec.video[i].time - slot);
  }
  std::vector<int64_t> sorted = lateness;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_LT(sorted[sorted.size() / 2], 10 * 10000) << "median lateness";
  EXPECT_LT(sorted.back(), 300 * 10000) << "worst lateness";
  const int64_t recordedMs = rec.video.back().time / 10000;
  EXPECT_NEAR(static_cast<double>(recordedMs), 2400.0 + 100.0, 700.0) << "recorded time without the pause";

  // The frames show the scene as it was: each one a whole picture of the
  // scene at the clock it shows, 20 pixels in from the region's corner, with
  // the cursor drawn only where the pointer rested.
  const auto frames = ReadRawFrames(file + L".standin.video", kWidth, kHeight);
  ASSERT_EQ(frames.size(), rec.video.size());
  const SceneReading scene1 = ReadScene(frames, kWidth, kHeight, 20, 20, {kPointerX, kPointerY});
  EXPECT_LE(scene1.framesWrongOutsideCursor, 1) << "of " << frames.size();
  EXPECT_GE(scene1.framesWithCursor, 20);

  // The clock moves on with the frame times, except once: across the pause,
  // where the screen's clock ran on and the recording's did not.
  int jumps = 0;
  for (size_t i = 1; i < frames.size(); ++i) {
    const double clockStep = static_cast<double>(scene1.clock[i]) - scene1.clock[i - 1];
    const double timeStep = (rec.video[i].time - rec.video[i - 1].time) / 10000.0;
    EXPECT_GE(clockStep, 0) << "frame " << i;
    if (std::fabs(clockStep - timeStep) < 150) continue;
    ++jumps;
    EXPECT_GE(clockStep - timeStep, shortestPause - 150) << "frame " << i;
    EXPECT_LE(clockStep - timeStep, longestPause + 150) << "frame " << i;
  }
  EXPECT_EQ(jumps, 1);

  // Sound: the tone, in packets whose times follow on without a gap.
  ASSERT_GE(rec.audio.size(), 10u);
  for (size_t i = 1; i < rec.audio.size(); ++i) {
    ASSERT_EQ(rec.audio[i].time, rec.audio[i - 1].time + rec.audio[i - 1].duration) << "packet " << i;
  }
  const int64_t audioEnd = rec.audio.back().time + rec.audio.back().duration;
  // The sound keeps time with the picture from the start, although the cold
  // input here sends its first packet only about a second in.
  EXPECT_EQ(rec.audio.front().time, 0);
  EXPECT_NEAR(audioEnd / 10000.0, rec.video.back().time / 10000.0, 200.0);
  const std::string pcm = ReadFileBytes(file + L".standin.audio");
  const size_t half = pcm.size() / 2 / 4 * 4;  // whole stereo frames
  EXPECT_NEAR(ToneFrequency(pcm.substr(half), 48000, 2), 440.0, 10.0);
}

}  // namespace
