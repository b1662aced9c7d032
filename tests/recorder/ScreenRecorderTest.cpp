// The engine in-process, through the writer stand-in: what no user can see
// from outside (the states the buttons never reach, the encoder's backlog,
// a region no window can ask for). Frames, pauses and sound are read back
// end to end.
#include "recorder/ScreenRecorder.h"

#include <gtest/gtest.h>

#include "tests/support/ScreenFixtures.h"

namespace {

const CaptureRegion kSmall{100, 100, 64, 48};

TEST(ScreenRecorder, StatesFromStartToFinishedFile) {
  TempDir dir;
  StandInEngine engine;
  ScreenRecorder& r = *engine.recorder;

  // Idle: nothing happens and nothing is opened.
  EXPECT_TRUE(r.Stop().path.empty());
  r.Pause();
  r.Resume();
  EXPECT_EQ(r.State(), RecorderState::Idle);
  EXPECT_TRUE(StandInRecords().empty());

  // The microphone asked for, but no input device here: video only.
  ASSERT_TRUE(r.Start({dir.File(L"a.mp4"), kSmall, true, false}));
  EXPECT_FALSE(r.Start({dir.File(L"b.mp4"), {0, 0, 32, 32}}));
  EXPECT_FALSE(FileExists(dir.File(L"b.mp4")));
  r.Resume();
  EXPECT_EQ(r.State(), RecorderState::Recording);
  PumpMessages(1000);
  r.Pause();
  r.Pause();
  EXPECT_EQ(r.State(), RecorderState::Paused);
  // The duration stands still while paused.
  const uint64_t paused = r.RecordedMs();
  PumpMessages(300);
  EXPECT_EQ(r.RecordedMs(), paused);
  EXPECT_NEAR(static_cast<double>(paused), 1000, 300);
  EXPECT_FALSE(r.Start({dir.File(L"c.mp4"), kSmall}));
  EXPECT_EQ(r.Problem(), RecorderProblem::None);  // refused because busy, not broken
  // Stopped while paused: the file is finished the usual way, once.
  const StopResult stopped = r.Stop();
  EXPECT_TRUE(r.Stop().path.empty());
  EXPECT_EQ(r.State(), RecorderState::Idle);
  EXPECT_EQ(stopped.problem, RecorderProblem::None);
  EXPECT_EQ(stopped.path, dir.File(L"a.mp4"));
  EXPECT_EQ(stopped.recordedMs, paused);

  auto record = engine.LastRecord();
  ASSERT_EQ(StandInRecords().size(), 1u);
  EXPECT_EQ(record->calls.front().step, StandInStep::Create);
  EXPECT_EQ(record->calls.back().step, StandInStep::Finalize);
  EXPECT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_EQ(record->Calls(StandInStep::AddStream).size(), 1u);
  EXPECT_TRUE(record->released);

  // A region the screen copy cannot be made for (6.4 GB of pixels): refused,
  // said why, and no file.
  EXPECT_FALSE(r.Start({dir.File(L"huge.mp4"), {0, 0, 40000, 40000}}));
  EXPECT_EQ(r.State(), RecorderState::Idle);
  EXPECT_EQ(r.Problem(), RecorderProblem::CannotCapture);
  EXPECT_FALSE(FileExists(dir.File(L"huge.mp4")));
}

// The rate and the largest size asked for rule the stream; an encoder that
// falls behind holds raw frames in memory (8 MB each at 1080p): once it holds
// about a second of them (30, or 60 at 60 frames a second), frames are not taken.
TEST(ScreenRecorder, RateSizeAndBacklogFollowTheOptions) {
  struct Case {
    uint32_t fps;
    int32_t maxSide, width, height;
    int64_t duration;
  } cases[] = {{30, 0, 64, 48, 333333}, {60, 32, 32, 24, 166667}};
  for (const Case& c : cases) {
    TempDir dir;
    StandInOptions options;
    options.encoderBacklog = c.fps * 3 / 2;
    StandInEngine engine(options);
    RecordingOptions asked{dir.File(L"slow.mp4"), kSmall};
    asked.maxWidth = asked.maxHeight = c.maxSide;
    asked.framesPerSecond = c.fps;
    ASSERT_TRUE(engine.recorder->Start(asked));
    PumpMessages(2000);
    EXPECT_GT(engine.recorder->Stop().framesSkipped, 10u) << c.fps;
    const auto stream = engine.LastRecord()->Calls(StandInStep::AddStream).at(0);
    EXPECT_TRUE(stream.width == c.width && stream.height == c.height) << stream.width << "x" << stream.height;
    const auto samples = engine.LastRecord()->Samples(0);
    ASSERT_EQ(samples.size(), c.fps);
    EXPECT_EQ(samples[0].duration, c.duration);
    EXPECT_EQ(samples[0].length, static_cast<DWORD>(c.width * c.height * 4));
    // Paced at the rate: the frames the pool lets through span about a second.
    EXPECT_NEAR(static_cast<double>(samples.back().time), static_cast<double>(c.duration) * (c.fps - 1), 5e6);
  }
}

}  // namespace
