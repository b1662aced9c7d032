// Sound from the default input device, against a real sound server playing
// a 440 Hz tone into the device the program records from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <mmdeviceapi.h>

#include "recorder/VideoFormat.h"
#include "tests/support/ScreenFixtures.h"

namespace {

const CaptureRegion kSmall{0, 0, 64, 48};

// Frames per second the default input delivers once running: it waits (up
// to five seconds) for the first packet, then counts for a second.
double MeasuredDeviceRate() {
  ScreenRecorder probe;
  if (FAILED(probe.InitAudioClient())) return 0;
  probe.audioClient->Start();
  uint64_t frames = 0;
  const DWORD start = GetTickCount();
  DWORD firstPacket = 0;
  while (GetTickCount() - start < 5000 && (!firstPacket || GetTickCount() - firstPacket < 1000)) {
    Sleep(8);
    UINT32 next = 0;
    while (SUCCEEDED(probe.captureClient->GetNextPacketSize(&next)) && next > 0) {
      BYTE* data;
      UINT32 got;
      DWORD flags;
      if (FAILED(probe.captureClient->GetBuffer(&data, &got, &flags, nullptr, nullptr))) break;
      if (firstPacket) frames += got;
      if (!firstPacket && got) firstPacket = GetTickCount();
      probe.captureClient->ReleaseBuffer(got);
    }
  }
  probe.audioClient->Stop();
  const DWORD elapsed = firstPacket ? GetTickCount() - firstPacket : 0;
  return elapsed ? frames * 1000.0 / elapsed : 0;
}

class AudioCaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { deviceRate_ = MeasuredDeviceRate(); }
  void SetUp() override {
    ASSERT_GT(deviceRate_, 48000 * 0.85) << "the default input delivers " << deviceRate_
                                         << " frames/s, too slowly to test timing against";
  }

  // Records `phases` of alternately recording and paused milliseconds.
  std::shared_ptr<StandInRecord> Record(StandInEngine& engine, std::initializer_list<DWORD> phases) {
    engine.audioFlag = true;
    EXPECT_TRUE(engine.recorder->Start(dir_.File(L"sound.mp4"), kSmall));
    bool recording = true;
    for (DWORD ms : phases) {
      PumpMessages(ms);
      recording ? engine.recorder->Pause() : engine.recorder->Resume();
      recording = !recording;
    }
    engine.recorder->Stop();
    return engine.LastRecord();
  }

  static StandInOptions KeepAudio() {
    StandInOptions options;
    options.keepAudio = true;
    return options;
  }

  static double deviceRate_;
  TempDir dir_;
};
double AudioCaptureTest::deviceRate_ = 0;

// Audio samples follow each other without gap or overlap from time 0.
void ExpectContiguousFromZero(const std::vector<StandInCall>& audio) {
  ASSERT_FALSE(audio.empty());
  EXPECT_EQ(audio[0].time, 0);
  for (size_t k = 1; k < audio.size(); ++k) {
    const LONGLONG expected = audio[k - 1].time + audio[k - 1].duration;
    ASSERT_LE(std::llabs(audio[k].time - expected), 1) << "packet " << k;
  }
}

LONGLONG Span(const std::vector<StandInCall>& samples) {
  return samples.back().time + samples.back().duration - samples.front().time;
}

TEST_F(AudioCaptureTest, RecordingCarriesTheToneOnAContiguousTimeline) {
  StandInEngine engine(KeepAudio());
  auto record = Record(engine, {4000});
  ScreenRecorder& r = *engine.recorder;

  // The media types themselves are checked with the writer's tests.
  EXPECT_EQ(r.sampleRate, 48000u);
  const auto video = record->Samples(r.videoStreamIndex);
  const auto audio = record->Samples(r.audioStreamIndex);
  ASSERT_GT(video.size(), 60u);
  ExpectContiguousFromZero(audio);
  const double videoSpan = static_cast<double>(video.back().time + kVideoFrameDuration);
  EXPECT_NEAR(static_cast<double>(Span(audio)) / videoSpan, 1.0, 0.05);

  // The sound is the tone: count rising zero crossings of the left channel
  // over the last two seconds.
  std::vector<int16_t> pcm(record->audioBytes.size() / 2);
  std::memcpy(pcm.data(), record->audioBytes.data(), pcm.size() * 2);
  const size_t frames = pcm.size() / 2;
  ASSERT_GT(frames, 2u * 48000);
  int crossings = 0;
  int16_t peak = 0;
  for (size_t i = frames - 2 * 48000; i + 1 < frames; ++i) {
    if (pcm[2 * i] < 0 && pcm[2 * (i + 1)] >= 0) ++crossings;
    peak = std::max<int16_t>(peak, pcm[2 * i]);
  }
  EXPECT_NEAR(crossings / 2.0, 440.0, 440 * 0.02);
  EXPECT_GT(peak, 1000);  // not silence
}

TEST_F(AudioCaptureTest, PauseDropsTheSoundAndTheTimelineGoesOn) {
  StandInEngine engine;
  auto record = Record(engine, {1500, 1500, 1500});
  const auto audio = record->Samples(engine.recorder->audioStreamIndex);
  const auto video = record->Samples(engine.recorder->videoStreamIndex);
  ExpectContiguousFromZero(audio);
  // About three seconds of each, not four and a half.
  const double audioSeconds = Span(audio) / 1e7;
  EXPECT_GT(audioSeconds, 2.5);
  EXPECT_LT(audioSeconds, 3.4);
  EXPECT_NEAR(Span(audio) / static_cast<double>(video.back().time + kVideoFrameDuration), 1.0, 0.08);
}

TEST_F(AudioCaptureTest, AudioFlagOffOpensNoDevice) {
  StandInEngine engine;
  engine.audioFlag = false;
  ASSERT_TRUE(engine.recorder->Start(dir_.File(L"quiet.mp4"), kSmall));
  EXPECT_FALSE(engine.recorder->audioClient);
  EXPECT_FALSE(engine.recorder->audioThread.joinable());
  PumpMessages(200);
  engine.recorder->Stop();
  EXPECT_EQ(engine.LastRecord()->Calls(StandInStep::AddStream).size(), 1u);
}

TEST_F(AudioCaptureTest, DeviceListHasWhatTheServerOffersInItsOrder) {
  ScreenRecorder recorder;
  const auto devices = recorder.EnumerateAudioCaptureDevices();
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"QM_SOUND_SOURCES", path, MAX_PATH), 0u);
  std::wifstream sources(std::string(path, path + wcslen(path)));
  size_t at = 0;
  std::wstring name;
  int offered = 0;
  while (std::getline(sources, name)) {
    if (name.empty()) continue;
    ++offered;
    bool found = false;
    for (; at < devices.size() && !found; ++at) found = devices[at] == name;
    EXPECT_TRUE(found) << name;
  }
  EXPECT_GT(offered, 0);
}

TEST_F(AudioCaptureTest, ConfiguringTheAudioStreamFailsToVideoOnly) {
  // The platform refuses the PCM-to-AAC pairing: a fresh writer, video only.
  StandInOptions options;
  options.failStep = StandInStep::SetInputMediaType;
  options.failOnCall = 2;  // the audio stream's input
  StandInEngine engine(options);
  engine.audioFlag = true;
  ASSERT_TRUE(engine.recorder->Start(dir_.File(L"remade.mp4"), kSmall));
  EXPECT_FALSE(engine.recorder->audioReady);
  EXPECT_FALSE(engine.recorder->audioClient);
  EXPECT_FALSE(engine.recorder->audioThread.joinable());
  PumpMessages(200);
  engine.recorder->Stop();
  const auto records = StandInRecords();
  ASSERT_EQ(records.size(), 2u);  // the first writer was thrown away
  EXPECT_EQ(records[0]->Calls(StandInStep::BeginWriting).size(), 0u);
  EXPECT_TRUE(records[0]->released);
  EXPECT_EQ(records[1]->Calls(StandInStep::AddStream).size(), 1u);
  EXPECT_FALSE(records[1]->Samples(0).empty());
}

}  // namespace
