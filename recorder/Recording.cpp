#include "recorder/Recording.h"

#include <exception>

#include "recorder/AudioSource.h"
#include "recorder/FramePacer.h"
#include "recorder/UnfinishedRecordings.h"
#include "recorder/VideoFormat.h"

int64_t PerformanceCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

HRESULT CaptureFrame(ScreenGrabber& grabber, Mp4Writer& writer, int64_t sampleTime) {
  // No frame at all while the encoder is behind: the pacing goes on.
  Mp4Writer::VideoFrame frame = writer.NewVideoFrame();
  if (!frame) return S_FALSE;
  // A frame that could not be read is not written: the one before it shows on.
  if (!grabber.Grab(frame.memory())) return E_FAIL;
  return writer.WriteVideoFrame(std::move(frame), sampleTime);
}

namespace {

RecordingOptions Ruled(RecordingOptions options) {
  options.region = ApplySizeRules(options.region);
  options.framesPerSecond = SupportedFrameRate(options.framesPerSecond);
  return options;
}

}  // namespace

Recording::Recording(const RecordingOptions& options, SinkWriterFactory factory)
    : options_(Ruled(options)),
      video_(ScaledVideoSize(options_.region.width, options_.region.height, options_.maxWidth, options_.maxHeight)),
      clock_(&PerformanceCounter, PerformanceFrequency()),
      grabber_(options_.region, video_),
      writer_(factory, clock_) {}

Recording::~Recording() { Stop(); }

bool Recording::Start(RecorderProblem& problem) {
  // Without its copy of the screen a recording would be a file of nothing.
  if (!grabber_.Ready()) {
    problem = RecorderProblem::CannotCapture;
    return false;
  }
  if (!OpenWriter(problem)) return false;
  clock_.Start();
  try {
    videoThread_ = std::thread(&Recording::VideoLoop, this);
    if (writer_.HasSound()) sound_.Start(writer_, clock_);
  } catch (const std::exception&) {
    // The file is already open: finish it the way a stop does, so nothing
    // is left half-made, and report that no recording runs.
    Stop();
    problem = RecorderProblem::CannotCapture;
    return false;
  }
  return true;
}

bool Recording::OpenWriter(RecorderProblem& problem) {
  sound_.Open(options_.microphone, options_.computerSound, options_.microphoneId);
  if (FAILED(writer_.Open(options_.path, video_, options_.framesPerSecond,
                          sound_.HasSources() ? &sound_.Format() : nullptr, problem))) {
    return false;
  }
  // The platform refused the sound stream: the devices go unused.
  if (!writer_.HasSound()) sound_.Close();
  RememberUnfinished(options_.path);
  return true;
}

bool Recording::MicrophoneMissing() const { return sound_.Missing(AudioSourceKind::Microphone); }
bool Recording::ComputerSoundMissing() const { return sound_.Missing(AudioSourceKind::ComputerSound); }
bool Recording::MicrophoneStandsIn() const { return sound_.MicrophoneStandsIn(); }

uint64_t Recording::RecordedMs() const {
  const int64_t ms = clock_.Units(clock_.Now().recorded, 1000);
  return ms > 0 ? static_cast<uint64_t>(ms) : 0;
}

StopResult Recording::Stop() {
  StopResult result;
  result.path = options_.path;
  // Nothing after this instant is recorded, picture or sound.
  clock_.End();
  stopRequested_ = true;
  if (videoThread_.joinable()) videoThread_.join();
  sound_.Stop();
  result.recordedMs = RecordedMs();
  result.framesSkipped = writer_.FramesSkipped();
  if (!writer_.IsOpen()) return result;  // never opened, or stopped before
  const HRESULT finalized = writer_.Finish();
  // The platform has written fragments; whatever became of its finish, the
  // file is made a normal MP4 from those that are whole.
  const FinishOutcome finished = FinishRecordingFile(options_.path).outcome;
  if (finished != FinishOutcome::WriteFailed) ForgetUnfinished(options_.path);
  if (writer_.Refused()) {
    result.problem = RecorderProblem::OutputRefused;
  } else if (finished == FinishOutcome::NoFragments || finished == FinishOutcome::NotMp4) {
    result.problem = RecorderProblem::NothingWritten;
  } else if (finished == FinishOutcome::Damaged || finished == FinishOutcome::WriteFailed) {
    result.problem = RecorderProblem::LeftFragmented;
  } else if (FAILED(finalized)) {
    result.problem = RecorderProblem::FinalizeFailed;
  }
  return result;
}

namespace {

// The real world of the video thread: Sleep, and the frame path.
class EnginePacingHost final : public PacingHost {
 public:
  EnginePacingHost(ScreenGrabber& grabber, Mp4Writer& writer, const std::atomic<bool>& stopRequested)
      : grabber_(grabber), writer_(writer), stopRequested_(stopRequested) {}
  bool StopRequested() override { return stopRequested_.load(); }
  void SleepMs(uint32_t ms) override { ::Sleep(ms); }
  void TakeFrame(int64_t sampleTime) override { CaptureFrame(grabber_, writer_, sampleTime); }

 private:
  ScreenGrabber& grabber_;
  Mp4Writer& writer_;
  const std::atomic<bool>& stopRequested_;
};

}  // namespace

void Recording::VideoLoop() {
  EnginePacingHost host(grabber_, writer_, stopRequested_);
  RunPacingLoop(clock_, host, options_.framesPerSecond);
}
