// The engine's life cycle and a whole recording, through the in-process
// writer stand-in.
#include "recorder/ScreenRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "recorder/VideoFormat.h"
#include "tests/support/ScreenFixtures.h"

namespace {

const CaptureRegion kSmall{100, 100, 64, 48};

// Handles messages until the newest writer has some video samples (the video
// thread may start late on a busy machine).
void PumpUntilFrames(const StandInEngine& engine, size_t frames = 2) {
  for (int i = 0; i < 200; ++i) {
    auto record = engine.LastRecord();
    if (record && record->Samples(0).size() >= frames) return;
    PumpMessages(20);
  }
}

UINT64 FrameSizeOf(const StandInCall& call) {
  for (const StandInAttribute& a : call.attributes) {
    if (a.key == MF_MT_FRAME_SIZE) return a.number;
  }
  return 0;
}

TEST(ScreenRecorder, EveryStateTransition) {
  TempDir dir;
  StandInEngine engine;
  ScreenRecorder& r = *engine.recorder;

  // Idle: Stop, Pause and Resume change nothing and open nothing.
  r.Stop();
  r.Pause();
  r.Resume();
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_TRUE(StandInRecords().empty());

  ASSERT_TRUE(r.Start(dir.File(L"a.mp4"), kSmall));
  EXPECT_EQ(r.state, RecorderState::Recording);
  EXPECT_TRUE(r.sinkWriter);
  EXPECT_TRUE(r.videoThread.joinable());

  // A second Start while recording is refused and leaves the recording alone.
  EXPECT_FALSE(r.Start(dir.File(L"b.mp4"), {0, 0, 32, 32}));
  EXPECT_EQ(r.outputPath, dir.File(L"a.mp4"));
  EXPECT_EQ(r.region.width, 64);
  EXPECT_FALSE(FileExists(dir.File(L"b.mp4")));

  r.Resume();  // recording: nothing
  EXPECT_EQ(r.state, RecorderState::Recording);
  r.Pause();
  EXPECT_EQ(r.state, RecorderState::Paused);
  r.Pause();  // paused: nothing
  EXPECT_EQ(r.state, RecorderState::Paused);
  EXPECT_FALSE(r.Start(dir.File(L"c.mp4"), kSmall));
  r.Resume();
  EXPECT_EQ(r.state, RecorderState::Recording);
  r.Pause();

  // Stop while paused finishes the file normally.
  r.Stop();
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_FALSE(r.sinkWriter);
  EXPECT_FALSE(r.videoThread.joinable());
  EXPECT_FALSE(r.screenDC);
  EXPECT_FALSE(r.frameBuffer);
  auto record = engine.LastRecord();
  ASSERT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_TRUE(record->released);

  r.Stop();  // second Stop: nothing more
  EXPECT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_EQ(StandInRecords().size(), 1u);

  // The same object records again with fresh resources.
  ASSERT_TRUE(r.Start(dir.File(L"d.mp4"), kSmall));
  PumpUntilFrames(engine);
  r.Stop();
  auto second = engine.LastRecord();
  ASSERT_NE(second, record);
  ASSERT_FALSE(second->Samples(0).empty());
  EXPECT_LT(second->Samples(0).front().time, 20 * kMediaTicksPerMs);
}

TEST(ScreenRecorder, StartAppliesTheSizeRules) {
  struct Case {
    CaptureRegion in;
    int32_t width, height;
  } cases[] = {{{0, 0, 15, 9}, 16, 16}, {{0, 0, 1921, 1081}, 1920, 1080}, {{5, 7, 0, 40}, 16, 40}};
  TempDir dir;
  for (const Case& c : cases) {
    StandInEngine engine;
    ScreenRecorder& r = *engine.recorder;
    ASSERT_TRUE(r.Start(dir.File(L"size.mp4"), c.in));
    PumpUntilFrames(engine, 1);
    r.Stop();
    EXPECT_EQ(r.region.left, c.in.left);
    EXPECT_EQ(r.region.top, c.in.top);
    auto record = engine.LastRecord();
    const auto streams = record->Calls(StandInStep::AddStream);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(FrameSizeOf(streams[0]), (UINT64{static_cast<UINT32>(c.width)} << 32) | static_cast<UINT32>(c.height));
    const auto samples = record->Samples(0);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples[0].length, static_cast<DWORD>(c.width) * c.height * 4);
  }
}

TEST(ScreenRecorder, FailedStartStaysIdleAndTheNextStartWorks) {
  TempDir dir;
  StandInEngine engine;
  ScreenRecorder& r = *engine.recorder;
  engine.audioFlag = true;

  EXPECT_FALSE(r.Start(dir.File(L"missing\\x.mp4"), kSmall));
  EXPECT_EQ(r.state, RecorderState::Idle);
  EXPECT_FALSE(r.sinkWriter);
  EXPECT_FALSE(r.videoThread.joinable());
  EXPECT_FALSE(r.audioReady);
  EXPECT_FALSE(r.audioClient);
  // The drawing resources stay until the next Start or the end.
  EXPECT_TRUE(r.frameBuffer);

  ASSERT_TRUE(r.Start(dir.File(L"ok.mp4"), kSmall));
  PumpUntilFrames(engine);
  r.Stop();
  EXPECT_FALSE(engine.LastRecord()->Samples(0).empty());
}

TEST(ScreenRecorder, WholeRecordingIsPacedAndFinalizedLast) {
  TempDir dir;
  StandInOptions options;
  std::atomic<ScreenRecorder*> observed{nullptr};
  std::atomic<int> writesOutsideLock{0};
  std::atomic<int> finalizeOutsideLock{0};
  std::atomic<int> finalizeWithThreadRunning{0};
  // Another thread probes writerLock during each call: it must be held.
  auto lockHeld = [&observed]() {
    bool held = false;
    std::thread probe([&] {
      if (observed.load()->writerLock.try_lock()) {
        observed.load()->writerLock.unlock();
      } else {
        held = true;
      }
    });
    probe.join();
    return held;
  };
  options.onCall = [&](const StandInCall& call) {
    if (!observed.load()) return;
    if (call.step == StandInStep::WriteSample && call.stream == 0 && !lockHeld()) ++writesOutsideLock;
    if (call.step == StandInStep::Finalize) {
      if (!lockHeld()) ++finalizeOutsideLock;
      if (observed.load()->videoThread.joinable()) ++finalizeWithThreadRunning;
    }
  };
  StandInEngine engine(options);
  ScreenRecorder& r = *engine.recorder;
  observed = &r;

  const DWORD started = GetTickCount();
  ASSERT_TRUE(r.Start(dir.File(L"rec.mp4"), {0, 0, 320, 240}));
  PumpMessages(3000);
  r.Stop();
  const DWORD elapsed = GetTickCount() - started;

  auto record = engine.LastRecord();
  const auto samples = record->Samples(r.videoStreamIndex);
  ASSERT_GT(samples.size(), 60u);
  EXPECT_LE(samples.size(), elapsed / 33 + 2);
  EXPECT_LT(samples[0].time, 20 * kMediaTicksPerMs);
  for (size_t k = 0; k < samples.size(); ++k) {
    EXPECT_GE(samples[k].time, static_cast<LONGLONG>(k) * 33 * kMediaTicksPerMs) << "frame " << k;
    EXPECT_EQ(samples[k].duration, 333333);
    EXPECT_EQ(samples[k].length, 320u * 240 * 4);
    if (k) {
      EXPECT_GT(samples[k].time, samples[k - 1].time);
    }
  }
  // Roughly one frame per 33 ms of recording.
  const LONGLONG lastMs = samples.back().time / kMediaTicksPerMs;
  EXPECT_NEAR(static_cast<double>(samples.size()), lastMs / 33 + 1, 3);

  // Order of the file's life: create, streams, begin, samples, finalize last.
  std::vector<StandInStep> order;
  {
    std::lock_guard<std::mutex> lock(record->lock);
    for (const StandInCall& call : record->calls) order.push_back(call.step);
  }
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order.front(), StandInStep::Create);
  EXPECT_EQ(order.back(), StandInStep::Finalize);
  EXPECT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_EQ(writesOutsideLock, 0);
  EXPECT_EQ(finalizeOutsideLock, 0);
  EXPECT_EQ(finalizeWithThreadRunning, 0);
  EXPECT_TRUE(record->released);
  EXPECT_EQ(r.framesSkippedForBacklog, 0u);
}

TEST(ScreenRecorder, PauseLeavesNoGapAndTakesNoFrames) {
  TempDir dir;
  StandInEngine engine;
  ScreenRecorder& r = *engine.recorder;
  ASSERT_TRUE(r.Start(dir.File(L"pause.mp4"), kSmall));
  PumpMessages(600);
  r.Pause();
  const size_t atPause = engine.LastRecord()->Samples(0).size();
  PumpMessages(1500);
  // At most one frame already in flight when the pause was asked for.
  EXPECT_LE(engine.LastRecord()->Samples(0).size(), atPause + 1);
  r.Resume();
  PumpMessages(600);
  r.Stop();

  const auto samples = engine.LastRecord()->Samples(0);
  ASSERT_GT(samples.size(), atPause + 2);
  // A 1.5 s pause leaves at most a short hiccup in the timeline (the step
  // across it follows the last frame taken before it, which may be one that
  // was in flight when the pause was asked for).
  const LONGLONG acrossPause = std::max(samples[atPause].time - samples[atPause - 1].time,
                                        samples[atPause + 1].time - samples[atPause].time);
  EXPECT_LT(acrossPause, 150 * kMediaTicksPerMs);
  EXPECT_LT(samples.back().time, 1400 * kMediaTicksPerMs);
  EXPECT_GT(samples.back().time, 1000 * kMediaTicksPerMs);
}

TEST(ScreenRecorder, EncoderBacklogIsBoundedBySkippingCaptures) {
  TempDir dir;
  for (uint64_t backlog : {uint64_t{30}, uint64_t{45}}) {
    StandInOptions options;
    options.encoderBacklog = backlog;
    // The file holding samples back (waiting for audio to interleave) is
    // not a backlog of raw frames.
    options.fileHoldsBack = true;
    StandInEngine engine(options);
    ScreenRecorder& r = *engine.recorder;
    ASSERT_TRUE(r.Start(dir.File(L"slow.mp4"), kSmall));
    PumpMessages(2000);
    r.Stop();
    const size_t written = engine.LastRecord()->Samples(0).size();
    if (backlog == 30) {
      // A second of backlog is tolerated.
      EXPECT_GT(written, 40u);
      EXPECT_EQ(r.framesSkippedForBacklog, 0u);
    } else {
      // Beyond it every further frame is skipped, yet pacing goes on.
      EXPECT_EQ(written, 31u);
      EXPECT_GT(r.framesSkippedForBacklog, 10u);
    }
  }
}

TEST(ScreenRecorder, AudioFlagWithoutADeviceRecordsVideoOnly) {
  TempDir dir;
  for (bool flag : {false, true}) {
    StandInEngine engine;
    engine.audioFlag = flag;
    ScreenRecorder& r = *engine.recorder;
    ASSERT_TRUE(r.Start(dir.File(L"audio.mp4"), kSmall));
    EXPECT_EQ(r.audioEnabled, flag);
    EXPECT_FALSE(r.audioReady);
    EXPECT_FALSE(r.audioThread.joinable());
    PumpMessages(150);
    r.Stop();
    EXPECT_EQ(engine.LastRecord()->Calls(StandInStep::AddStream).size(), 1u);
    EXPECT_EQ(StandInRecords().size(), 1u);
  }
}

TEST(ScreenRecorder, DestroyingTheEngineFinishesARunningRecording) {
  TempDir dir;
  StandInEngine engine;
  ASSERT_TRUE(engine.recorder->Start(dir.File(L"end.mp4"), kSmall));
  engine.recorder->Pause();
  auto record = engine.LastRecord();
  engine.recorder.reset();
  EXPECT_EQ(record->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_TRUE(record->released);
}

}  // namespace
