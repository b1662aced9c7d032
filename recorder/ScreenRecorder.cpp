#include "recorder/ScreenRecorder.h"

#include <exception>

#include "recorder/AudioSource.h"
#include "recorder/FramePacer.h"
#include "recorder/VideoFormat.h"

ScreenRecorder* g_recorder = nullptr;

CaptureRegion PrimaryScreenRegion() {
  return CaptureRegion{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

ScreenRecorder::ScreenRecorder() { region = PrimaryScreenRegion(); }

ScreenRecorder::~ScreenRecorder() {
  Stop();
  ReleaseCaptureResources();
  if (mediaFoundationStarted_) MediaFoundation()->Shutdown();
  // COM is uninitialised by com_ afterwards, and only if this engine's
  // initialisation took place: a thread already in another apartment keeps it.
}

bool ScreenRecorder::Start(const std::wstring& path, const CaptureRegion& requested) {
  if (state.load() != RecorderState::Idle) return false;

  problem = RecorderProblem::None;
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) {
    problem = RecorderProblem::NoMediaFoundation;
    return false;
  }
  if (!mediaFoundationStarted_) mediaFoundationStarted_ = SUCCEEDED(mf->Startup(MF_VERSION, MFSTARTUP_FULL));
  // Loaded but not started: nothing of it works, whatever the folder.
  if (!mediaFoundationStarted_) {
    problem = RecorderProblem::NoMediaFoundation;
    return false;
  }
  audioEnabled = audioFlag != nullptr && *audioFlag;
  computerSoundEnabled = computerSoundFlag != nullptr && *computerSoundFlag;
  computerSoundMissing = false;
  outputPath = path;
  region = ApplySizeRules(requested);

  ReleaseCaptureResources();
  CreateCaptureResources();
  // Without its copy of the screen a recording would be a file of nothing.
  if (!bitmap || !memoryDC || !frameBuffer) {
    ReleaseCaptureResources();
    problem = RecorderProblem::CannotCapture;
    return false;
  }

  if (FAILED(OpenWriter())) {
    ReleaseAudioObjects();
    ReleaseCaptureResources();
    return false;
  }
  refusingSinceMs_ = 0;
  outputRefused_ = false;

  state = RecorderState::Recording;
  stopRequested = false;
  QueryPerformanceCounter(&recordingStart);
  try {
    videoThread = std::thread(&ScreenRecorder::VideoLoop, this);
    if (HasSound()) audioThread = std::thread(&ScreenRecorder::AudioLoop, this);
  } catch (const std::exception&) {
    // The file is already open: finish it the way Stop does, so nothing is
    // left half-made, and report that no recording runs.
    Stop();
    return false;
  }
  return true;
}

void ScreenRecorder::Stop() {
  if (state.load() == RecorderState::Idle) return;
  stopRequested = true;
  state = RecorderState::Idle;
  JoinWorkers();
  ReleaseCaptureResources();
  {
    std::lock_guard<std::mutex> lock(writerLock);
    if (sinkWriter) {
      if (FAILED(sinkWriter->Finalize()) && !outputRefused_.load()) problem = RecorderProblem::FinalizeFailed;
      sinkWriter.Reset();
    }
    if (outputRefused_.load()) problem = RecorderProblem::OutputRefused;
  }
  ReleaseAudioObjects();
}

void ScreenRecorder::Pause() {
  RecorderState expected = RecorderState::Recording;
  state.compare_exchange_strong(expected, RecorderState::Paused);
}

void ScreenRecorder::Resume() {
  // The video thread folds the measured pause into its total when it next
  // sees the recording state, so nothing else is touched here.
  RecorderState expected = RecorderState::Paused;
  state.compare_exchange_strong(expected, RecorderState::Recording);
}

void ScreenRecorder::JoinWorkers() {
  if (videoThread.joinable()) videoThread.join();
  if (audioThread.joinable()) audioThread.join();
}

namespace {

// The real world of the video thread: the performance counter as the
// recording clock, Sleep, and the engine's frame capture.
class EnginePacingHost final : public PacingHost {
 public:
  EnginePacingHost(ScreenRecorder& recorder, const std::atomic<bool>& stopRequested)
      : recorder_(recorder), stopRequested_(stopRequested) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&origin_);
  }

  RecorderState State() override { return recorder_.state.load(); }
  bool StopRequested() override { return stopRequested_.load(); }
  int64_t NowMs() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return ClockMs(origin_.QuadPart, now.QuadPart, frequency_.QuadPart);
  }
  void SleepMs(uint32_t ms) override { ::Sleep(ms); }
  void TakeFrame(int64_t sampleTime) override {
    if (recorder_.sinkWriter) {
      MF_SINK_WRITER_STATISTICS stats{};
      stats.cb = sizeof(stats);
      // Throttling is off, so nothing else stops a slow encoder from queueing
      // raw frames (8 MB each at 1080p) until memory runs out. Counted against
      // what the encoder has taken, not what the file has taken: the file
      // holds video back while it waits for audio to interleave with.
      if (SUCCEEDED(recorder_.sinkWriter->GetStatistics(recorder_.videoStreamIndex, &stats)) &&
          VideoBacklogExceeded(stats.qwNumSamplesReceived, stats.qwNumSamplesEncoded)) {
        ++recorder_.framesSkippedForBacklog;
        return;
      }
    }
    recorder_.CaptureFrame(sampleTime);
  }

 private:
  ScreenRecorder& recorder_;
  const std::atomic<bool>& stopRequested_;
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER origin_{};
};

}  // namespace

void ScreenRecorder::VideoLoop() {
  EnginePacingHost host(*this, stopRequested);
  FramePacer pacer;
  RunPacingLoop(host, pacer);
}
