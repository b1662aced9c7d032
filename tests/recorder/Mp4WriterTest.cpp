// The writer's failure paths, which only an injected failure reaches, and
// the one way samples reach the file.
#include <gtest/gtest.h>

#include <thread>
#include <utility>

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
// removing it would only add to the loss). A stream refused is tried again
// without the hardware encoder: one that refuses the video type (as some do
// at 60 frames a second) still gives a recording.
TEST(Mp4Writer, FailingSteps) {
  TempDir dir;
  StandInOptions hardwareRefuses;
  hardwareRefuses.hardwareRefusesVideo = true;
  for (const StandInOptions& options :
       {FailAt(StandInStep::Create, 1), FailAt(StandInStep::AddStream, 1), FailAt(StandInStep::SetInputMediaType, 1),
        FailAt(StandInStep::BeginWriting, 1), hardwareRefuses}) {
    const bool records = options.hardwareRefusesVideo, create = !records && options.failStep == StandInStep::Create;
    SCOPED_TRACE(records ? "hardware refuses" : StandInStepName(options.failStep));
    StandInEngine engine(options);
    ScreenRecorder& r = *engine.recorder;
    EXPECT_EQ(r.Start({dir.File(L"fail.mp4"), {0, 0, 64, 64}}), records);
    EXPECT_EQ(r.Problem(), records  ? RecorderProblem::None
                           : create ? RecorderProblem::CannotCreateFile
                                    : RecorderProblem::CannotEncode);
    const auto writers = StandInRecords();
    ASSERT_EQ(writers.size(), 2u);
    EXPECT_TRUE(writers[0]->Calls(StandInStep::Create).at(0).hardwareTransforms);
    EXPECT_EQ(writers[1]->Calls(StandInStep::Create).at(0).hardwareTransforms, create);
    if (records) {
      PumpMessages(300);
      EXPECT_EQ(r.Stop().problem, RecorderProblem::None);
      EXPECT_FALSE(writers[1]->Samples(0).empty());
    }
    EXPECT_EQ(r.State(), RecorderState::Idle);
    EXPECT_EQ(FileExists(dir.File(L"fail.mp4")), records);
    EXPECT_TRUE(writers[0]->released && writers[1]->released);
    DeleteFileW(dir.File(L"fail.mp4").c_str());
  }

  // Media Foundation that will not start: the start is refused as without it.
  auto& api = const_cast<MediaFoundationApi&>(*MediaFoundation());
  const auto startup = std::exchange(api.Startup, &RefuseStartup);
  StandInEngine refused;
  EXPECT_FALSE(refused.recorder->Start({dir.File(L"fail.mp4"), {0, 0, 64, 64}}));
  EXPECT_EQ(refused.recorder->Problem(), RecorderProblem::NoMediaFoundation);
  api.Startup = startup;

  const std::wstring existing = dir.File(L"existing.mp4");
  ASSERT_TRUE(WriteFileBytes(existing, "earlier"));
  StandInEngine engine(FailAt(StandInStep::BeginWriting, 1));
  EXPECT_FALSE(engine.recorder->Start({existing, {0, 0, 64, 64}}));
  EXPECT_TRUE(FileExists(existing));
}

// The platform refuses the audio stream half made: the recording goes on
// without sound, in a fresh writer, since the first holds half a stream.
TEST(Mp4Writer, RefusedAudioStreamGivesAVideoOnlyRecording) {
  TempDir dir;
  StandInEngine engine(FailAt(StandInStep::SetInputMediaType, 2));
  ASSERT_TRUE(engine.recorder->Start({dir.File(L"remade.mp4"), {0, 0, 64, 48}, true, false}));
  PumpMessages(300);
  engine.recorder->Stop();
  const auto records = StandInRecords();
  ASSERT_EQ(records.size(), 2u) << "no sound server: this test needs the sound fixture";
  EXPECT_TRUE(records[0]->Calls(StandInStep::BeginWriting).empty());
  EXPECT_TRUE(records[0]->released);
  EXPECT_EQ(records[1]->Calls(StandInStep::AddStream).size(), 1u);
  EXPECT_FALSE(records[1]->Samples(0).empty());
}

// The video and audio threads write at once, then the file is finished: no
// call into the writer ever begins during another, and a sound packet lost
// in the writer keeps its place on the time line.
TEST(Mp4Writer, TwoThreadsWriteOneAtATimeAndALostPacketKeepsItsPlace) {
  TempDir dir;
  StandInOptions options = FailAt(StandInStep::WriteSample, 2);
  options.callMs = 1;
  StandInWriter w(options);
  const AudioTrackFormat sound{48000, 2};
  ASSERT_EQ(w.Open(dir.File(L"w.mp4"), 64, 64, &sound), S_OK);
  const int16_t loud[2 * 480] = {16383};
  EXPECT_EQ(w.writer.WriteSound(nullptr, 480), S_OK);
  EXPECT_NE(w.writer.WriteSound(loud, 480), S_OK);
  std::thread video([&] {
    for (int i = 0; i < 40; ++i) w.writer.WriteVideoFrame(w.writer.NewVideoFrame(), i * 333333);
  });
  for (int i = 0; i < 40; ++i) w.writer.WriteSound(loud, 480);
  video.join();
  EXPECT_EQ(w.writer.Finish(), S_OK);
  // Once the file is finished a sample is dropped quietly.
  EXPECT_EQ(w.writer.WriteSound(loud, 480), S_OK);

  auto record = w.LastRecord();
  EXPECT_EQ(record->overlappingCalls, 0);
  EXPECT_EQ(record->Samples(0).size(), 40u);
  const auto audio = record->Samples(1);
  ASSERT_EQ(audio.size(), 41u);
  EXPECT_EQ(audio[0].time, 0);
  EXPECT_EQ(audio[1].time, 200000);
  EXPECT_EQ(record->calls.back().step, StandInStep::Finalize);
}

}  // namespace
