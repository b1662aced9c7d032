// The writer set-up, attribute by attribute, and its failure paths.
#include <gtest/gtest.h>
#include <mferror.h>

#include "recorder/CodecApi.h"
#include "recorder/ScreenRecorder.h"
#include "recorder/VideoFormat.h"
#include "tests/support/ScreenFixtures.h"

namespace {

struct Expected {
  GUID key;
  MF_ATTRIBUTE_TYPE type;
  UINT64 number;
  GUID guid;
};
Expected U32(const GUID& key, UINT32 value) { return {key, MF_ATTRIBUTE_UINT32, value, GUID_NULL}; }
Expected U64(const GUID& key, UINT32 high, UINT32 low) {
  return {key, MF_ATTRIBUTE_UINT64, (UINT64{high} << 32) | low, GUID_NULL};
}
Expected Guid(const GUID& key, const GUID& value) { return {key, MF_ATTRIBUTE_GUID, 0, value}; }

void ExpectAttributes(const StandInCall& call, const std::vector<Expected>& expected) {
  ASSERT_TRUE(call.hasAttributes);
  ASSERT_EQ(call.attributes.size(), expected.size()) << StandInStepName(call.step);
  for (size_t i = 0; i < expected.size(); ++i) {
    const StandInAttribute& got = call.attributes[i];
    SCOPED_TRACE(std::string(StandInStepName(call.step)) + " attribute " + std::to_string(i) + " " + GuidName(expected[i].key));
    EXPECT_EQ(GuidName(got.key), GuidName(expected[i].key));
    EXPECT_EQ(got.type, expected[i].type);
    if (expected[i].type == MF_ATTRIBUTE_GUID) {
      EXPECT_EQ(GuidName(got.guid), GuidName(expected[i].guid));
    } else {
      EXPECT_EQ(got.number, expected[i].number);
    }
  }
}

// Opens a writer for the given rectangle (already even and >= 16).
std::shared_ptr<StandInRecord> OpenFor(StandInEngine& engine, const TempDir& dir, CaptureRegion region) {
  ScreenRecorder& r = *engine.recorder;
  r.outputPath = dir.File(L"w.mp4");
  r.region = region;
  EXPECT_EQ(r.OpenWriter(), S_OK);
  return engine.LastRecord();
}

TEST(Mp4Writer, VideoConfigurationFollowsTheTablesInOrder) {
  TempDir dir;
  for (CaptureRegion region : {CaptureRegion{0, 0, 1920, 1080}, CaptureRegion{0, 0, 1366, 768}}) {
    StandInEngine engine;
    auto record = OpenFor(engine, dir, region);
    const UINT32 w = static_cast<UINT32>(region.width), h = static_cast<UINT32>(region.height);

    const auto create = record->Calls(StandInStep::Create);
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(create[0].path, dir.File(L"w.mp4"));
    ExpectAttributes(create[0], {U32(MF_SINK_WRITER_DISABLE_THROTTLING, 1)});

    const auto streams = record->Calls(StandInStep::AddStream);
    ASSERT_EQ(streams.size(), 1u);
    ExpectAttributes(streams[0], {Guid(MF_MT_MAJOR_TYPE, MFMediaType_Video), Guid(MF_MT_SUBTYPE, MFVideoFormat_H264),
                                  U32(MF_MT_AVG_BITRATE, VideoBitRate(region.width, region.height)),
                                  U32(MF_MT_INTERLACE_MODE, 2), U64(MF_MT_FRAME_SIZE, w, h),
                                  U64(MF_MT_FRAME_RATE, 30, 1), U64(MF_MT_PIXEL_ASPECT_RATIO, 1, 1)});
    EXPECT_EQ(streams[0].attributes[2].number, region.width == 1920 ? 8000000u : 4047407u);

    const auto inputs = record->Calls(StandInStep::SetInputMediaType);
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].stream, engine.recorder->videoStreamIndex);
    ExpectAttributes(inputs[0], {Guid(MF_MT_MAJOR_TYPE, MFMediaType_Video), Guid(MF_MT_SUBTYPE, MFVideoFormat_RGB32),
                                 U32(MF_MT_INTERLACE_MODE, 2), U64(MF_MT_FRAME_SIZE, w, h),
                                 U64(MF_MT_FRAME_RATE, 30, 1), U64(MF_MT_PIXEL_ASPECT_RATIO, 1, 1)});

    const auto service = record->Calls(StandInStep::GetServiceForStream);
    ASSERT_EQ(service.size(), 1u);
    EXPECT_EQ(GuidName(service[0].property), "IID_ICodecAPI");
    const auto codec = record->Calls(StandInStep::CodecSetValue);
    ASSERT_EQ(codec.size(), 3u);
    EXPECT_EQ(GuidName(codec[0].property), "CODECAPI_AVEncMPVGOPSize");
    EXPECT_EQ(codec[0].valueType, VT_UI4);
    EXPECT_EQ(codec[0].value, 60u);
    EXPECT_EQ(GuidName(codec[1].property), "CODECAPI_AVEncCommonRateControlMode");
    EXPECT_EQ(codec[1].valueType, VT_UI4);
    EXPECT_EQ(codec[1].value, 0u);
    EXPECT_EQ(GuidName(codec[2].property), "CODECAPI_AVLowLatencyMode");
    EXPECT_EQ(codec[2].valueType, VT_BOOL);
    EXPECT_EQ(codec[2].value, 0xFFFFu);

    EXPECT_EQ(record->Calls(StandInStep::BeginWriting).size(), 1u);
    EXPECT_TRUE(engine.recorder->sinkWriter);
  }
}

TEST(Mp4Writer, AudioConfigurationFollowsTheTables) {
  struct Case {
    uint32_t deviceRate, deviceChannels, fileRate, outChannels;
  } cases[] = {{44100, 2, 44100, 2}, {48000, 2, 48000, 2}, {96000, 6, 48000, 2}, {16000, 1, 48000, 1}};
  TempDir dir;
  for (const Case& c : cases) {
    StandInEngine engine;
    ScreenRecorder& r = *engine.recorder;
    ComPtr<IMFSinkWriter> writer;
    ASSERT_EQ(CreateStandInSinkWriter(dir.File(L"a.mp4").c_str(), nullptr, nullptr, &writer), S_OK);
    r.region = {0, 0, 64, 64};
    ASSERT_EQ(r.ConfigureVideoStream(writer.Get()), S_OK);
    r.sampleRate = c.deviceRate;
    r.channels = c.deviceChannels;
    r.outputChannels = c.deviceChannels < 2 ? 1 : 2;
    ASSERT_EQ(r.ConfigureAudioStream(writer.Get()), S_OK);
    EXPECT_EQ(r.audioStreamIndex, 1u);

    auto record = engine.LastRecord();
    const auto streams = record->Calls(StandInStep::AddStream);
    ASSERT_EQ(streams.size(), 2u);
    ExpectAttributes(streams[1], {Guid(MF_MT_MAJOR_TYPE, MFMediaType_Audio), Guid(MF_MT_SUBTYPE, MFAudioFormat_AAC),
                                  U32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16), U32(MF_MT_AUDIO_SAMPLES_PER_SECOND, c.fileRate),
                                  U32(MF_MT_AUDIO_NUM_CHANNELS, c.outChannels),
                                  U32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 16000)});
    const auto inputs = record->Calls(StandInStep::SetInputMediaType);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[1].stream, 1u);
    ExpectAttributes(inputs[1], {Guid(MF_MT_MAJOR_TYPE, MFMediaType_Audio), Guid(MF_MT_SUBTYPE, MFAudioFormat_PCM),
                                 U32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16),
                                 U32(MF_MT_AUDIO_SAMPLES_PER_SECOND, c.deviceRate),
                                 U32(MF_MT_AUDIO_NUM_CHANNELS, c.outChannels),
                                 U32(MF_MT_AUDIO_BLOCK_ALIGNMENT, c.outChannels * 2),
                                 U32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, c.outChannels * 2 * c.deviceRate),
                                 U32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1)});
  }
}

TEST(Mp4Writer, EncoderTuningIsBestEffort) {
  TempDir dir;
  {
    StandInOptions options;
    options.offerCodecApi = false;
    StandInEngine engine(options);
    auto record = OpenFor(engine, dir, {0, 0, 64, 64});
    EXPECT_TRUE(engine.recorder->sinkWriter);
    EXPECT_TRUE(record->Calls(StandInStep::CodecSetValue).empty());
  }
  {
    // A refused property neither fails the open nor stops the others.
    StandInOptions options;
    options.failStep = StandInStep::CodecSetValue;
    options.failOnCall = 1;
    StandInEngine engine(options);
    auto record = OpenFor(engine, dir, {0, 0, 64, 64});
    EXPECT_TRUE(engine.recorder->sinkWriter);
    EXPECT_EQ(record->Calls(StandInStep::CodecSetValue).size(), 3u);
  }
}

TEST(Mp4Writer, EveryFailingStepFailsTheOpenAndLeavesNoFile) {
  const StandInStep steps[] = {StandInStep::Create, StandInStep::AddStream, StandInStep::SetInputMediaType,
                               StandInStep::BeginWriting};
  TempDir dir;
  for (StandInStep step : steps) {
    SCOPED_TRACE(StandInStepName(step));
    StandInOptions options;
    options.failStep = step;
    options.failOnCall = 1;
    options.failWith = MF_E_INVALIDMEDIATYPE;
    StandInEngine engine(options);
    ScreenRecorder& r = *engine.recorder;
    r.outputPath = dir.File(L"fail.mp4");
    r.region = {0, 0, 64, 64};
    EXPECT_EQ(r.OpenWriter(), MF_E_INVALIDMEDIATYPE);
    EXPECT_FALSE(r.sinkWriter);
    EXPECT_EQ(engine.LastRecord()->released, step != StandInStep::Create);  // no writer to release
    // The writer made the file; a recording that never began takes it away.
    EXPECT_FALSE(FileExists(dir.File(L"fail.mp4")));
    // And Start reports the failure as a refusal.
    EXPECT_FALSE(r.Start(dir.File(L"fail.mp4"), {0, 0, 64, 64}));
    EXPECT_EQ(r.state, RecorderState::Idle);
  }

  // A file that was there before is not taken away (the writer has emptied
  // it already; removing it would only add to the loss).
  const std::wstring existing = dir.File(L"existing.mp4");
  unique_file(CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  StandInOptions options;
  options.failStep = StandInStep::BeginWriting;
  options.failOnCall = 1;
  StandInEngine engine(options);
  EXPECT_FALSE(engine.recorder->Start(existing, {0, 0, 64, 64}));
  EXPECT_TRUE(FileExists(existing));
}

TEST(Mp4Writer, SubmitSampleWritesExactlyWhatItWasGiven) {
  TempDir dir;
  StandInEngine engine;
  auto record = OpenFor(engine, dir, {0, 0, 16, 16});
  ScreenRecorder& r = *engine.recorder;
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
  auto fill = [&](BYTE* target) { std::copy(bytes.begin(), bytes.end(), target); };

  EXPECT_EQ(r.SubmitSample(r.videoStreamIndex, 1000, fill, 123456, 333333), S_OK);
  auto samples = record->Samples(r.videoStreamIndex);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].time, 123456);
  EXPECT_EQ(samples[0].duration, 333333);
  EXPECT_EQ(samples[0].length, 1000u);
  EXPECT_EQ(samples[0].hash, StandInHash(bytes.data(), bytes.size()));

  // A failing write is reported and lost.
  EXPECT_NE(r.SubmitSample(7, 1000, fill, 0, 1), S_OK);

  // Once the writer is gone (a stop in progress) the sample is dropped quietly.
  r.sinkWriter.Reset();
  EXPECT_EQ(r.SubmitSample(0, 1000, fill, 2, 1), S_OK);
  EXPECT_EQ(record->Samples(0).size(), 1u);
}

}  // namespace

namespace {

// A packet lost after its buffer was made keeps its place on the audio time
// line: the next packet is stamped where it would have been anyway.
TEST(Mp4Writer, LostAudioPacketKeepsItsPlaceOnTheTimeline) {
  TempDir dir;
  StandInOptions options;
  options.failStep = StandInStep::WriteSample;
  options.failOnCall = 2;
  StandInEngine engine(options);
  ScreenRecorder& r = *engine.recorder;
  ASSERT_EQ(OpenWriterWithSound(r, dir.File(L"lost.mp4")), S_OK);

  const float loud[2 * 480] = {0.5f};
  EXPECT_EQ(r.WriteAudioPacket(nullptr, 480), S_OK);
  EXPECT_NE(r.WriteAudioPacket(reinterpret_cast<const BYTE*>(loud), 480), S_OK);  // lost in the writer
  EXPECT_EQ(r.WriteAudioPacket(nullptr, 480), S_OK);
  EXPECT_EQ(r.audioFramesWritten, 1440u);
  const auto audio = engine.LastRecord()->Samples(r.audioStreamIndex);
  ASSERT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0].time, 0);
  EXPECT_EQ(audio[0].duration, 100000);
  EXPECT_EQ(audio[0].length, 1920u);
  EXPECT_EQ(audio[1].time, 200000);
  r.sinkWriter.Reset();
}

TEST(Mp4Writer, NoInputDeviceMeansAnEmptyDeviceList) {
  ScreenRecorder recorder;
  EXPECT_TRUE(recorder.EnumerateAudioCaptureDevices().empty());
  EXPECT_FALSE(SUCCEEDED(recorder.InitAudioClient()));
  EXPECT_FALSE(recorder.audioReady);
  EXPECT_FALSE(recorder.audioClient);
  EXPECT_FALSE(recorder.mixFormat);
}

}  // namespace
