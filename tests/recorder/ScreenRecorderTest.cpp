// The engine in-process, through the writer stand-in: what no user can see
// from outside (the states the buttons never reach, the writer lock, the
// encoder's backlog). Frames, pauses and sound are read back end to end.
#include "recorder/ScreenRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/ScreenFixtures.h"

namespace {

const CaptureRegion kSmall{100, 100, 64, 48};

TEST(ScreenRecorder, StatesLockAndTheFileFromStartToFinalize) {
  TempDir dir;
  std::atomic<ScreenRecorder*> observed{nullptr};
  std::atomic<int> callsOutsideLock{0}, finalizeWithThreadRunning{0};
  StandInOptions options;
  // During every write and the finalize, another thread must find the
  // writer lock held.
  options.onCall = [&](const StandInCall& call) {
    ScreenRecorder* r = observed.load();
    if (!r || (call.step != StandInStep::WriteSample && call.step != StandInStep::Finalize)) return;
    bool held = false;
    std::thread([&] {
      if (r->writerLock.try_lock()) r->writerLock.unlock();
      else held = true;
    }).join();
    if (!held) ++callsOutsideLock;
    if (call.step == StandInStep::Finalize && r->videoThread.joinable()) ++finalizeWithThreadRunning;
  };
  StandInEngine engine(options);
  ScreenRecorder& r = *engine.recorder;
  observed = &r;
  // The microphone on, but no input device here: video only.
  engine.audioFlag = true;

  // Idle: nothing happens and nothing is opened.
  r.Stop();
  r.Pause();
  r.Resume();
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_TRUE(StandInRecords().empty());

  ASSERT_TRUE(r.Start(dir.File(L"a.mp4"), kSmall));
  EXPECT_FALSE(r.Start(dir.File(L"b.mp4"), {0, 0, 32, 32}));
  EXPECT_FALSE(FileExists(dir.File(L"b.mp4")));
  r.Resume();
  EXPECT_EQ(r.state, RecorderState::Recording);
  PumpMessages(1000);
  r.Pause();
  r.Pause();
  EXPECT_EQ(r.state, RecorderState::Paused);
  EXPECT_FALSE(r.Start(dir.File(L"c.mp4"), kSmall));
  EXPECT_EQ(r.problem, RecorderProblem::None);  // refused because busy, not broken
  // Stopped while paused: the file is finished the usual way, once.
  r.Stop();
  r.Stop();
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_FALSE(r.sinkWriter);
  EXPECT_FALSE(r.frameBuffer);

  auto record = engine.LastRecord();
  ASSERT_EQ(StandInRecords().size(), 1u);
  EXPECT_EQ(record->calls.front().step, StandInStep::Create);
  EXPECT_EQ(record->calls.back().step, StandInStep::Finalize);
  EXPECT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_TRUE(record->released);
  EXPECT_EQ(callsOutsideLock, 0);
  EXPECT_EQ(finalizeWithThreadRunning, 0);
  EXPECT_EQ(record->Calls(StandInStep::AddStream).size(), 1u);

  // A region the screen copy cannot be made for (6.4 GB of pixels): refused,
  // said why, and no file.
  EXPECT_FALSE(r.Start(dir.File(L"huge.mp4"), {0, 0, 40000, 40000}));
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_EQ(r.problem, RecorderProblem::CannotCapture);
  EXPECT_FALSE(FileExists(dir.File(L"huge.mp4")));
}

// An encoder that falls behind holds raw frames in memory (8 MB each at
// 1080p): beyond about a second of them (30), captures are skipped.
TEST(ScreenRecorder, EncoderBacklogIsBoundedBySkippingCaptures) {
  TempDir dir;
  StandInOptions options;
  options.encoderBacklog = 45;
  StandInEngine engine(options);
  ScreenRecorder& r = *engine.recorder;
  ASSERT_TRUE(r.Start(dir.File(L"slow.mp4"), kSmall));
  PumpMessages(2000);
  r.Stop();
  EXPECT_EQ(engine.LastRecord()->Samples(0).size(), 31u);
  EXPECT_GT(r.framesSkippedForBacklog, 10u);
}

}  // namespace
