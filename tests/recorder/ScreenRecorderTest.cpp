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

// An encoder that falls behind holds raw frames in memory (8 MB each at
// 1080p): once it holds about a second of them (30, or 60 at 60 frames a
// second), frames are not taken. (The sizes and times of the stream at each
// rate and size are read from the program's own recordings.)
TEST(ScreenRecorder, EncoderBacklogIsBoundedBySkippingCaptures) {
  for (const uint32_t fps : {30u, 60u}) {
    TempDir dir;
    StandInOptions options;
    options.encoderBacklog = fps * 3 / 2;
    StandInEngine engine(options);
    RecordingOptions asked{dir.File(L"slow.mp4"), kSmall};
    asked.framesPerSecond = fps;
    ASSERT_TRUE(engine.recorder->Start(asked));
    PumpMessages(2000);
    EXPECT_GT(engine.recorder->Stop().framesSkipped, 10u) << fps;
    const auto samples = engine.LastRecord()->Samples(0);
    ASSERT_EQ(samples.size(), fps);
    // Paced at the rate: the frames the pool lets through span about a second.
    EXPECT_NEAR(static_cast<double>(samples.back().time), 1e7 * (fps - 1) / fps, 5e6);
  }
}

}  // namespace
