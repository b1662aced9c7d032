#include "recorder/ScreenRecorder.h"

#include "recorder/AudioSource.h"
#include "recorder/Recording.h"

ScreenRecorder* g_recorder = nullptr;

CaptureRegion PrimaryScreenRegion() {
  return CaptureRegion{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

ScreenRecorder::ScreenRecorder(SinkWriterFactory factory) : factory_(factory) {}

ScreenRecorder::~ScreenRecorder() {
  Stop();
  if (mediaFoundationStarted_) MediaFoundation()->Shutdown();
  // COM is uninitialised by com_ afterwards, and only if this engine's
  // initialisation took place: a thread already in another apartment keeps it.
}

bool ScreenRecorder::Start(const RecordingOptions& options) {
  if (recording_) return false;
  problem_ = RecorderProblem::None;
  const MediaFoundationApi* mf = MediaFoundation();
  if (mf && !mediaFoundationStarted_) mediaFoundationStarted_ = SUCCEEDED(mf->Startup(MF_VERSION, MFSTARTUP_FULL));
  // Missing, or loaded but not started: nothing of it works, whatever the folder.
  if (!mediaFoundationStarted_) {
    problem_ = RecorderProblem::NoMediaFoundation;
    return false;
  }
  auto recording = std::make_unique<Recording>(options, factory_);
  if (!recording->Start(problem_)) return false;
  recording_ = std::move(recording);
  return true;
}

StopResult ScreenRecorder::Stop() {
  if (!recording_) return {};
  const StopResult result = recording_->Stop();
  recording_.reset();
  return result;
}

void ScreenRecorder::Pause() {
  if (recording_) recording_->Pause();
}

void ScreenRecorder::Resume() {
  if (recording_) recording_->Resume();
}

RecorderState ScreenRecorder::State() const {
  if (!recording_) return RecorderState::Idle;
  return recording_->Paused() ? RecorderState::Paused : RecorderState::Recording;
}

uint64_t ScreenRecorder::RecordedMs() const { return recording_ ? recording_->RecordedMs() : 0; }

bool ScreenRecorder::MicrophoneMissing() const { return recording_ && recording_->MicrophoneMissing(); }
bool ScreenRecorder::ComputerSoundMissing() const { return recording_ && recording_->ComputerSoundMissing(); }
bool ScreenRecorder::MicrophoneStandsIn() const { return recording_ && recording_->MicrophoneStandsIn(); }

bool ScreenRecorder::OutputRefused() const { return recording_ && recording_->OutputRefused(); }

std::vector<AudioDevice> ScreenRecorder::EnumerateAudioCaptureDevices() const { return AudioInputDevices(); }
