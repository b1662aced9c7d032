#include "recorder/Mp4Writer.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/HResult.h"
#include "recorder/AudioFormat.h"
#include "recorder/CodecApi.h"
#include "recorder/VideoFormat.h"

// The memory of one frame, handed to the writer as its media buffer. The
// pool keeps one reference; the sample and the encoder hold others for as
// long as they need the frame, so a buffer only the pool holds is free again.
class PooledFrameBuffer final : public IMFMediaBuffer {
 public:
  static ComPtr<PooledFrameBuffer> Make(DWORD length) {
    ComPtr<PooledFrameBuffer> buffer;
    std::unique_ptr<BYTE[]> memory(new (std::nothrow) BYTE[length]);
    if (memory) buffer.Attach(new (std::nothrow) PooledFrameBuffer(std::move(memory), length));
    return buffer;
  }

  bool InUse() const { return refs_.load() > 1; }
  BYTE* memory() const { return memory_.get(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (id == __uuidof(IUnknown) || id == __uuidof(IMFMediaBuffer)) {
      *object = static_cast<IMFMediaBuffer*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Lock(BYTE** buffer, DWORD* maxLength, DWORD* currentLength) override {
    if (!buffer) return E_POINTER;
    *buffer = memory_.get();
    if (maxLength) *maxLength = length_;
    if (currentLength) *currentLength = current_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unlock() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD* length) override {
    if (!length) return E_POINTER;
    *length = current_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD length) override {
    if (length > length_) return E_INVALIDARG;
    current_ = length;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* length) override {
    if (!length) return E_POINTER;
    *length = length_;
    return S_OK;
  }

 private:
  PooledFrameBuffer(std::unique_ptr<BYTE[]> memory, DWORD length) : memory_(std::move(memory)), length_(length) {}
  ~PooledFrameBuffer() = default;

  std::atomic<ULONG> refs_{1};
  std::unique_ptr<BYTE[]> memory_;
  DWORD length_;
  DWORD current_ = 0;
};

namespace {

constexpr UINT32 kAacBytesPerSecond = 16000;  // 128 kbit/s
constexpr int64_t kRefusalLimitMs = 2000;

HRESULT SetCodecValue(ICodecAPI* codec, const GUID& property, VARTYPE type, ULONG value) {
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = type;
  if (type == VT_BOOL) {
    variant.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    variant.ulVal = value;
  }
  return codec->SetValue(&property, &variant);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What the encoder's output and its input agree on: progressive frames of one
// size and rate, square pixels.
HRESULT SetFrameAttributes(IMFMediaType* type, VideoSize video, uint32_t framesPerSecond) {
  RETURN_IF_FAILED(type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive));
  RETURN_IF_FAILED(
      MFSetAttributeSize(type, MF_MT_FRAME_SIZE, static_cast<UINT32>(video.width), static_cast<UINT32>(video.height)));
  RETURN_IF_FAILED(MFSetAttributeRatio(type, MF_MT_FRAME_RATE, framesPerSecond, 1));
  return MFSetAttributeRatio(type, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
}

}  // namespace

Mp4Writer::VideoFrame::VideoFrame() = default;
Mp4Writer::VideoFrame::VideoFrame(VideoFrame&&) noexcept = default;
Mp4Writer::VideoFrame& Mp4Writer::VideoFrame::operator=(VideoFrame&&) noexcept = default;
Mp4Writer::VideoFrame::~VideoFrame() = default;

Mp4Writer::Mp4Writer(SinkWriterFactory factory, const RecordingClock& clock) : factory_(factory), clock_(clock) {}

Mp4Writer::~Mp4Writer() = default;

HRESULT Mp4Writer::Open(const std::wstring& path, VideoSize video, uint32_t framesPerSecond,
                        const AudioTrackFormat* sound, RecorderProblem& problem) {
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) {
    problem = RecorderProblem::NoMediaFoundation;
    return E_NOINTERFACE;
  }
  const SinkWriterFactory create = factory_ ? factory_ : mf->CreateSinkWriterFromURL;
  video_ = video;
  framesPerSecond_ = framesPerSecond;
  // The first frame's memory comes before the file: a recording that could
  // not hold even one frame would be a file of nothing.
  frameBytes_ = FrameBufferBytes(video.width, video.height);
  ComPtr<PooledFrameBuffer> first = frameBytes_ ? PooledFrameBuffer::Make(frameBytes_) : nullptr;
  if (!first) {
    problem = RecorderProblem::CannotCapture;
    return E_OUTOFMEMORY;
  }
  pool_.assign(1, first);

  ComPtr<IMFAttributes> attributes;
  if (SUCCEEDED(mf->CreateAttributes(&attributes, 3))) {
    // Never make the capture threads wait for the encoder; the backlog is
    // bounded by the frame pool instead.
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
    // Fragments, each playable once written: a recording whose process dies
    // is finished from them at the next start. A normal stop finishes the
    // file the same way.
    attributes->SetGUID(kTranscodeContainerType, kContainerFragmentedMp4);
    // The machine's own encoder, which spares the processor: without this
    // the writer takes software encoders only.
    attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, TRUE);
  } else {
    attributes.Reset();
  }

  // The writer creates the file. If the recording then cannot be set up,
  // the empty file it leaves is ours to take away again.
  const bool existedBefore = FileExists(path);
  ComPtr<IMFSinkWriter> writer;
  bool madeFile = false;
  // A writer made anew for the same file, without an attribute the platform
  // would not take; the one before goes first, and with it its half-made streams.
  auto make = [&](const GUID* without) -> HRESULT {
    writer.Reset();
    if (without && attributes) attributes->DeleteItem(*without);
    const HRESULT made = create(path.c_str(), nullptr, attributes.Get(), &writer);
    madeFile = madeFile || SUCCEEDED(made);
    return made;
  };
  auto openStreams = [&]() -> HRESULT {
    problem = RecorderProblem::CannotCreateFile;
    HRESULT made = make(nullptr);
    // A Windows without the fragmented sink (before Windows 8) still
    // records, into a plain MP4 that a crash would leave unplayable.
    if (FAILED(made) && attributes) made = make(&kTranscodeContainerType);
    RETURN_IF_FAILED(made);
    problem = RecorderProblem::CannotEncode;
    RETURN_IF_FAILED(ConfigureVideoStream(writer.Get()));
    hasSound_ = sound != nullptr;
    if (hasSound_ && FAILED(ConfigureAudioStream(writer.Get(), *sound))) {
      // The writer may hold a half-made audio stream; start over with video only.
      hasSound_ = false;
      RETURN_IF_FAILED(make(nullptr));
      RETURN_IF_FAILED(ConfigureVideoStream(writer.Get()));
    }
    return writer->BeginWriting();
  };

  HRESULT hr = openStreams();
  if (FAILED(hr) && problem == RecorderProblem::CannotEncode && attributes) {
    // Some hardware encoders refuse a type the software one takes (60
    // frames a second among them), some only when writing begins: the whole
    // file is made again with the software encoder.
    attributes->DeleteItem(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS);
    const HRESULT again = openStreams();
    // A platform whose first writer still holds the file cannot make it
    // again (Wine's keeps it until the process ends): the refusal is the news.
    if (FAILED(again) && problem == RecorderProblem::CannotCreateFile) {
      problem = RecorderProblem::CannotEncode;
    } else {
      hr = again;
    }
  }
  if (FAILED(hr)) {
    hasSound_ = false;
    writer.Reset();
    if (madeFile && !existedBefore) DeleteFileW(path.c_str());
    return hr;
  }
  problem = RecorderProblem::None;
  if (hasSound_) sound_ = *sound;
  writer_ = writer;
  return S_OK;
}

HRESULT Mp4Writer::ConfigureVideoStream(IMFSinkWriter* writer) {
  const MediaFoundationApi* mf = MediaFoundation();
  ComPtr<IMFMediaType> outputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&outputType));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264));
  RETURN_IF_FAILED(
      outputType->SetUINT32(MF_MT_AVG_BITRATE, VideoBitRate(video_.width, video_.height, framesPerSecond_)));
  RETURN_IF_FAILED(SetFrameAttributes(outputType.Get(), video_, framesPerSecond_));
  RETURN_IF_FAILED(writer->AddStream(outputType.Get(), &videoStream_));

  // The frames go in as read from the screen: bottom row first, BGRX.
  ComPtr<IMFMediaType> inputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&inputType));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32));
  RETURN_IF_FAILED(SetFrameAttributes(inputType.Get(), video_, framesPerSecond_));
  const HRESULT hr = writer->SetInputMediaType(videoStream_, inputType.Get(), nullptr);

  // Tuning is best effort: an encoder that refuses a property keeps its default.
  ComPtr<ICodecAPI> codec;
  if (SUCCEEDED(writer->GetServiceForStream(videoStream_, GUID_NULL, kIidCodecApi,
                                            reinterpret_cast<void**>(codec.GetAddressOf()))) &&
      codec) {
    SetCodecValue(codec.Get(), kCodecApiGopSize, VT_UI4, KeyFrameInterval(framesPerSecond_));
    SetCodecValue(codec.Get(), kCodecApiRateControlMode, VT_UI4, kRateControlConstant);
    SetCodecValue(codec.Get(), kCodecApiLowLatencyMode, VT_BOOL, TRUE);
  }
  return hr;
}

HRESULT Mp4Writer::ConfigureAudioStream(IMFSinkWriter* writer, const AudioTrackFormat& sound) {
  const MediaFoundationApi* mf = MediaFoundation();
  // AAC is declared at 44.1 kHz for such tracks and at 48 kHz for any other
  // rate; the platform resamples the PCM that goes in.
  const UINT32 rate = sound.sampleRate, channels = sound.channels;
  const UINT32 fileRate = rate == 44100 ? 44100 : 48000;

  ComPtr<IMFMediaType> outputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&outputType));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_AAC));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, fileRate));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAacBytesPerSecond));
  RETURN_IF_FAILED(writer->AddStream(outputType.Get(), &audioStream_));

  ComPtr<IMFMediaType> inputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&inputType));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, channels * 2 * rate));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE));
  return writer->SetInputMediaType(audioStream_, inputType.Get(), nullptr);
}

Mp4Writer::VideoFrame Mp4Writer::NewVideoFrame() {
  VideoFrame frame;
  PooledFrameBuffer* free = nullptr;
  for (const auto& buffer : pool_) {
    if (!buffer->InUse()) {
      free = buffer.Get();
      break;
    }
  }
  // Throttling is off, so nothing else stops a slow encoder from queueing
  // raw frames (8 MB each at 1080p) until memory runs out: beyond about a
  // second of them, the frame is not taken.
  if (!free && frameBytes_ != 0 && pool_.size() < MaxVideoBacklogFrames(framesPerSecond_, frameBytes_)) {
    ComPtr<PooledFrameBuffer> made = PooledFrameBuffer::Make(frameBytes_);
    if (made) {
      pool_.push_back(made);
      free = made.Get();
    }
  }
  if (!free) {
    ++framesSkipped_;
    return frame;
  }
  frame.buffer_ = free;
  frame.memory_ = free->memory();
  return frame;
}

HRESULT Mp4Writer::WriteVideoFrame(VideoFrame frame, int64_t time) {
  if (!frame) return E_POINTER;
  return WriteBuffer(videoStream_, frame.buffer_.Get(), frameBytes_, time, VideoFrameDuration(framesPerSecond_));
}

HRESULT Mp4Writer::WriteSound(const int16_t* samples, uint32_t frames) {
  if (frames == 0 || !hasSound_) return S_OK;
  const MediaFoundationApi* mf = MediaFoundation();
  const AudioPacketTime timing = AudioPacketTiming(soundFramesWritten_, frames, sound_.sampleRate);
  const uint32_t bytes = AudioPayloadBytes(sound_.channels, frames);
  ComPtr<IMFMediaBuffer> buffer;
  BYTE* memory = nullptr;
  RETURN_IF_FAILED(mf->CreateMemoryBuffer(bytes, &buffer));
  RETURN_IF_FAILED(buffer->Lock(&memory, nullptr, nullptr));
  if (samples) {
    std::memcpy(memory, samples, bytes);
  } else {
    std::memset(memory, 0, bytes);
  }
  buffer->Unlock();
  // A stretch lost from here on still takes its place on the time line, so
  // the next one is stamped where it belongs.
  soundFramesWritten_ += frames;
  return WriteBuffer(audioStream_, buffer.Get(), bytes, timing.time, timing.duration);
}

HRESULT Mp4Writer::WriteBuffer(DWORD stream, IMFMediaBuffer* buffer, DWORD length, LONGLONG time,
                               LONGLONG duration) {
  const MediaFoundationApi* mf = MediaFoundation();
  ComPtr<IMFSample> sample;
  RETURN_IF_FAILED(buffer->SetCurrentLength(length));
  RETURN_IF_FAILED(mf->CreateSample(&sample));
  RETURN_IF_FAILED(sample->AddBuffer(buffer));
  RETURN_IF_FAILED(sample->SetSampleTime(time));
  RETURN_IF_FAILED(sample->SetSampleDuration(duration));

  std::lock_guard<std::mutex> lock(lock_);
  // Null once the file is finished; a late sample is simply dropped.
  if (!writer_) return S_OK;
  const HRESULT hr = writer_->WriteSample(stream, sample.Get());
  // One refusal may pass; two seconds of recording with nothing but
  // refusals is a file that can no longer be written (disk full, folder gone).
  const int64_t now = clock_.Units(clock_.Now().recorded, 1000);
  if (SUCCEEDED(hr)) {
    refusingSinceMs_ = -1;
  } else if (refusingSinceMs_ < 0) {
    refusingSinceMs_ = now;
  } else if (now - refusingSinceMs_ >= kRefusalLimitMs) {
    refused_ = true;
  }
  return hr;
}

bool Mp4Writer::IsOpen() {
  std::lock_guard<std::mutex> lock(lock_);
  return writer_ != nullptr;
}

HRESULT Mp4Writer::Finish() {
  std::lock_guard<std::mutex> lock(lock_);
  if (!writer_) return S_OK;
  const HRESULT hr = writer_->Finalize();
  writer_.Reset();
  return hr;
}
