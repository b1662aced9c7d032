// One recording as a user makes it, start to end: the program is clicked
// with the real pointer, and the frames and sound it handed to the writer
// are read back and compared with what the screen and the sound server had.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/Screenshot.h"

namespace {

constexpr int kSceneX = 640, kSceneY = 420;
// Where the pointer rests on the scene (scene coordinates) while recording.
constexpr int kPointerX = 200, kPointerY = 120;

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
  ScopedEnvironment env({{L"QM_STANDIN_RAW", L"1"},
                         {L"QM_STANDIN_RAW_CROP", std::to_wstring(kSceneX) + L"," + std::to_wstring(kSceneY) + L"," +
                                                      std::to_wstring(LiveScene::kWidth) + L"," +
                                                      std::to_wstring(LiveScene::kHeight)}});
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  RECT mainRect;
  GetWindowRect(main, &mainRect);
  EXPECT_TRUE(SaveScreenshot(mainRect, L"main-window"));  // for people to look at
  HWND status = GetDlgItem(main, IDC_STATUS);
  EXPECT_EQ(TextOf(status), kStatusReady);
  const std::wstring folder = TextOf(GetDlgItem(main, IDC_FOLDER));  // the default folder
  ASSERT_FALSE(folder.empty());
  CleanUpAfter(folder, L"Quillomat_*");

  ClickOn(GetDlgItem(main, IDC_RECORD));
  ASSERT_TRUE(WaitForText(status, IsRecordingStatus)) << Narrow(TextOf(status));
  MovePointer(kSceneX + kPointerX, kSceneY + kPointerY);
  Sleep(1200);
  EXPECT_TRUE(IsRecordingStatus(TextOf(status)));
  const std::wstring afterOneSecond = TextOf(status);

  // Paused, the duration stands still where the pause began. The pause
  // begins during the first click and ends during the second.
  const DWORD beforePause = GetTickCount();
  ClickOn(GetDlgItem(main, IDC_PAUSE));
  const DWORD afterPause = GetTickCount();
  Sleep(300);
  const std::wstring frozen = TextOf(status);
  EXPECT_TRUE(IsRecordingStatus(frozen)) << Narrow(frozen);
  Sleep(1500);
  EXPECT_EQ(TextOf(status), frozen);
  const double shortestPause = GetTickCount() - afterPause;
  ClickOn(GetDlgItem(main, IDC_PAUSE));
  const double longestPause = GetTickCount() - beforePause;
  Sleep(1200);
  // Running again from where it stood: about 2.4 s of recording so far.
  EXPECT_EQ(TextOf(status), std::wstring(kStatusRecordingPrefix) + L"00:00:02");

  ClickOn(GetDlgItem(main, IDC_RECORD));
  ASSERT_TRUE(WaitForTextEqual(status, kStatusReady, 10000)) << Narrow(TextOf(status));
  EXPECT_NE(afterOneSecond, std::wstring(kStatusRecordingPrefix) + L"00:00:00");
  EXPECT_TRUE(CloseNormally(main, program));

  const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const Recording rec = ReadRecording(file);
  ASSERT_TRUE(rec.finalized) << Describe(rec);

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
  // scene at the clock it shows, with the cursor drawn only where the
  // pointer rested.
  const auto frames = ReadRawFrames(file + L".standin.video", LiveScene::kWidth, LiveScene::kHeight);
  ASSERT_EQ(frames.size(), rec.video.size());
  const SceneReading scene1 = ReadScene(frames, LiveScene::kWidth, LiveScene::kHeight, 0, 0, {kPointerX, kPointerY});
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

TEST_F(EndToEndTest, DraggedRegionIsWhatIsRecorded) {
  LiveScene scene(kSceneX, kSceneY);
  ScopedEnvironment env({{L"QM_STANDIN_RAW", L"1"}});
  Program program;
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  TempDir dir;
  SetFolder(main, dir.path());

  // The overlay comes up with the main window out of the way; Escape gives
  // up and brings the window back.
  ClickOn(GetDlgItem(main, IDC_REGION));
  HWND overlay = program.FindWindowOfClass(L"RegionSelectorClass");
  ASSERT_NE(overlay, nullptr);
  EXPECT_FALSE(IsWindowVisible(main));
  PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay) && IsWindowVisible(main); }));

  // A drag from 20 pixels above and left of the scene to 21 pixels below
  // and right of it.
  ClickOn(GetDlgItem(main, IDC_REGION));
  overlay = program.FindWindowOfClass(L"RegionSelectorClass");
  ASSERT_NE(overlay, nullptr);
  Sleep(200);
  MovePointer(kSceneX - 20, kSceneY - 20);
  Sleep(100);
  Xdotool(L"mousedown 1");
  Sleep(100);
  MovePointer(kSceneX + 100, kSceneY + 100);
  Sleep(100);
  MovePointer(kSceneX + LiveScene::kWidth + 21, kSceneY + LiveScene::kHeight + 21);
  Sleep(100);
  Xdotool(L"mouseup 1");
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }));

  HWND status = GetDlgItem(main, IDC_STATUS);
  ClickOn(GetDlgItem(main, IDC_RECORD));
  ASSERT_TRUE(WaitForText(status, IsRecordingStatus));
  Sleep(1500);
  ClickOn(GetDlgItem(main, IDC_RECORD));
  ASSERT_TRUE(WaitForTextEqual(status, kStatusReady, 10000));
  EXPECT_TRUE(CloseNormally(main, program));

  const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const Recording rec = ReadRecording(file);
  ASSERT_TRUE(rec.finalized) << Describe(rec);
  // 361 x 241 dragged; the engine makes both even.
  constexpr int width = 360, height = 240;
  EXPECT_EQ(rec.width, width);
  EXPECT_EQ(rec.height, height);
  ASSERT_GE(rec.video.size(), 30u);
  const auto frames = ReadRawFrames(file + L".standin.video", width, height);
  ASSERT_EQ(frames.size(), rec.video.size());
  // The pointer rests outside the scene, at the drag's end.
  const SceneReading reading = ReadScene(frames, width, height, 20, 20, {-100, -100});
  EXPECT_LE(reading.framesWrongOutsideCursor, 1) << "of " << frames.size();
  EXPECT_GT(reading.clock.back(), reading.clock.front() + 1000);
}

}  // namespace
