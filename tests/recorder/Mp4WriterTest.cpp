// The writer's failure paths, which only an injected failure reaches, and
// the one way samples reach the file.
#include <gtest/gtest.h>

#include <utility>

#include "recorder/ScreenRecorder.h"
#include "tests/support/ScreenFixtures.h"

namespace {

StandInOptions FailAt(StandInStep step, int call) {
  StandInOptions options;
  options.failStep = step;
  options.failOnCall = call;
  return options;
}

HRESULT STDAPICALLTYPE RefuseStartup(ULONG, DWORD) { return E_OUTOFMEMORY; }

// A step that fails leaves the engine idle and no file behind; a file that
// was there before is not taken away (the writer has emptied it already;
// removing it would only add to the loss).
TEST(Mp4Writer, FailingSteps) {
  TempDir dir;
  for (StandInStep step :
       {StandInStep::Create, StandInStep::AddStream, StandInStep::SetInputMediaType, StandInStep::BeginWriting}) {
    SCOPED_TRACE(StandInStepName(step));
    StandInEngine engine(FailAt(step, 1));
    ScreenRecorder& r = *engine.recorder;
    EXPECT_FALSE(r.Start(dir.File(L"fail.mp4"), {0, 0, 64, 64}));
    EXPECT_EQ(r.state, RecorderState::Idle);
    EXPECT_FALSE(FileExists(dir.File(L"fail.mp4")));
    EXPECT_FALSE(r.frameBuffer);  // a refused start keeps no screen copy
    EXPECT_TRUE(engine.LastRecord()->released || step == StandInStep::Create);
  }

  // Media Foundation that will not start: the start is refused as without it.
  auto& api = const_cast<MediaFoundationApi&>(*MediaFoundation());
  const auto startup = std::exchange(api.Startup, &RefuseStartup);
  StandInEngine refused;
  EXPECT_FALSE(refused.recorder->Start(dir.File(L"fail.mp4"), {0, 0, 64, 64}));
  EXPECT_EQ(refused.recorder->problem.load(), RecorderProblem::NoMediaFoundation);
  api.Startup = startup;

  const std::wstring existing = dir.File(L"existing.mp4");
  ASSERT_TRUE(WriteFileBytes(existing, "earlier"));
  StandInEngine engine(FailAt(StandInStep::BeginWriting, 1));
  EXPECT_FALSE(engine.recorder->Start(existing, {0, 0, 64, 64}));
  EXPECT_TRUE(FileExists(existing));
}

// The platform refuses the audio stream half made: the recording goes on
// without sound, in a fresh writer, since the first holds half a stream.
TEST(Mp4Writer, RefusedAudioStreamGivesAVideoOnlyRecording) {
  TempDir dir;
  StandInEngine engine(FailAt(StandInStep::SetInputMediaType, 2));
  engine.audioFlag = true;
  ASSERT_TRUE(engine.recorder->Start(dir.File(L"remade.mp4"), {0, 0, 64, 48}));
  EXPECT_FALSE(engine.recorder->audioThread.joinable());
  PumpMessages(300);
  engine.recorder->Stop();
  const auto records = StandInRecords();
  ASSERT_EQ(records.size(), 2u) << "no sound server: this test needs the sound fixture";
  EXPECT_TRUE(records[0]->Calls(StandInStep::BeginWriting).empty());
  EXPECT_TRUE(records[0]->released);
  EXPECT_EQ(records[1]->Calls(StandInStep::AddStream).size(), 1u);
  EXPECT_FALSE(records[1]->Samples(0).empty());
}

TEST(Mp4Writer, SamplesAndALostSoundPacket) {
  TempDir dir;
  StandInEngine engine(FailAt(StandInStep::WriteSample, 2));
  ScreenRecorder& r = *engine.recorder;
  ASSERT_EQ(OpenWriterWithSound(r, dir.File(L"w.mp4")), S_OK);
  auto record = engine.LastRecord();

  // A sound packet lost in the writer keeps its place on the time line: the
  // next one is stamped where it would have been anyway.
  const int16_t loud[2 * 480] = {16383};
  EXPECT_EQ(r.WriteAudio(nullptr, 480), S_OK);
  EXPECT_NE(r.WriteAudio(loud, 480), S_OK);
  EXPECT_EQ(r.WriteAudio(nullptr, 480), S_OK);
  const auto audio = record->Samples(r.audioStreamIndex);
  ASSERT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0].time, 0);
  EXPECT_EQ(audio[1].time, 200000);

  // Once the writer is gone (a stop in progress) a sample is dropped quietly.
  r.sinkWriter.Reset();
  EXPECT_EQ(r.SubmitSample(0, 4, [](BYTE*) {}, 0, 1), S_OK);
  EXPECT_TRUE(record->Samples(0).empty());
}

}  // namespace
