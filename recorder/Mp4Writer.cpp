// The MP4 file of a recording: the sink writer with its H.264 (and AAC)
// stream, encoder tuning, and the one way samples reach the file.
#include "common/HResult.h"
#include "recorder/AudioFormat.h"
#include "recorder/CodecApi.h"
#include "recorder/ScreenRecorder.h"
#include "recorder/VideoFormat.h"


namespace {

constexpr UINT32 kAacBytesPerSecond = 16000;  // 128 kbit/s
constexpr uint64_t kRefusalLimitMs = 2000;

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
HRESULT SetFrameAttributes(IMFMediaType* type, UINT32 width, UINT32 height) {
  RETURN_IF_FAILED(type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive));
  RETURN_IF_FAILED(MFSetAttributeSize(type, MF_MT_FRAME_SIZE, width, height));
  RETURN_IF_FAILED(MFSetAttributeRatio(type, MF_MT_FRAME_RATE, kVideoFramesPerSecond, 1));
  return MFSetAttributeRatio(type, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
}

}  // namespace

HRESULT ScreenRecorder::OpenWriter() {
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) {
    problem = RecorderProblem::NoMediaFoundation;
    return E_NOINTERFACE;
  }
  const SinkWriterFactory create = createSinkWriter ? createSinkWriter : mf->CreateSinkWriterFromURL;
  ComPtr<IMFAttributes> attributes;
  if (SUCCEEDED(mf->CreateAttributes(&attributes, 1))) {
    // Never make the capture threads wait for the encoder; the backlog is
    // bounded by the video thread instead.
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  } else {
    attributes.Reset();
  }

  // The writer creates the file. If this recording then cannot be set up,
  // the empty file it leaves is ours to take away again.
  const bool existedBefore = FileExists(outputPath);
  ComPtr<IMFSinkWriter> writer;
  auto openStreams = [&]() -> HRESULT {
    problem = RecorderProblem::CannotCreateFile;
    RETURN_IF_FAILED(create(outputPath.c_str(), nullptr, attributes.Get(), &writer));
    problem = RecorderProblem::CannotEncode;
    RETURN_IF_FAILED(ConfigureVideoStream(writer.Get()));
    if (audioEnabled || computerSoundEnabled) {
      OpenAudioSources();
      if (HasSound() && FAILED(ConfigureAudioStream(writer.Get()))) {
        // The writer may hold a half-made audio stream; start over with video only.
        ReleaseAudioObjects();
        writer.Reset();
        RETURN_IF_FAILED(create(outputPath.c_str(), nullptr, attributes.Get(), &writer));
        RETURN_IF_FAILED(ConfigureVideoStream(writer.Get()));
      }
    }
    return writer->BeginWriting();
  };

  const HRESULT hr = openStreams();
  if (SUCCEEDED(hr)) problem = RecorderProblem::None;
  if (FAILED(hr)) {
    const bool created = writer != nullptr;
    writer.Reset();
    if (created && !existedBefore) DeleteFileW(outputPath.c_str());
    return hr;
  }
  sinkWriter = writer;
  return S_OK;
}

HRESULT ScreenRecorder::ConfigureVideoStream(IMFSinkWriter* writer) {
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) return E_NOINTERFACE;
  const UINT32 width = static_cast<UINT32>(region.width);
  const UINT32 height = static_cast<UINT32>(region.height);

  ComPtr<IMFMediaType> outputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&outputType));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AVG_BITRATE, VideoBitRate(region.width, region.height)));
  RETURN_IF_FAILED(SetFrameAttributes(outputType.Get(), width, height));
  RETURN_IF_FAILED(writer->AddStream(outputType.Get(), &videoStreamIndex));

  // The frames go in as read from the screen: bottom row first, BGRX.
  ComPtr<IMFMediaType> inputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&inputType));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32));
  RETURN_IF_FAILED(SetFrameAttributes(inputType.Get(), width, height));
  const HRESULT hr = writer->SetInputMediaType(videoStreamIndex, inputType.Get(), nullptr);

  // Tuning is best effort: an encoder that refuses a property keeps its default.
  ComPtr<ICodecAPI> codec;
  if (SUCCEEDED(writer->GetServiceForStream(videoStreamIndex, GUID_NULL, kIidCodecApi,
                                            reinterpret_cast<void**>(codec.GetAddressOf()))) &&
      codec) {
    SetCodecValue(codec.Get(), kCodecApiGopSize, VT_UI4, kGopSizeFrames);
    SetCodecValue(codec.Get(), kCodecApiRateControlMode, VT_UI4, kRateControlConstant);
    SetCodecValue(codec.Get(), kCodecApiLowLatencyMode, VT_BOOL, TRUE);
  }
  return hr;
}

HRESULT ScreenRecorder::ConfigureAudioStream(IMFSinkWriter* writer) {
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) return E_NOINTERFACE;
  // AAC is declared at 44.1 kHz for such tracks and at 48 kHz for any other
  // rate; the platform resamples the PCM that goes in.
  const UINT32 sampleRate = audioFormat.sampleRate;
  const UINT32 outputChannels = audioFormat.channels;
  const UINT32 fileRate = sampleRate == 44100 ? 44100 : 48000;

  ComPtr<IMFMediaType> outputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&outputType));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  RETURN_IF_FAILED(outputType->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_AAC));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, fileRate));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, outputChannels));
  RETURN_IF_FAILED(outputType->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAacBytesPerSecond));
  RETURN_IF_FAILED(writer->AddStream(outputType.Get(), &audioStreamIndex));

  ComPtr<IMFMediaType> inputType;
  RETURN_IF_FAILED(mf->CreateMediaType(&inputType));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  RETURN_IF_FAILED(inputType->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sampleRate));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, outputChannels));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, outputChannels * 2));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, outputChannels * 2 * sampleRate));
  RETURN_IF_FAILED(inputType->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE));
  return writer->SetInputMediaType(audioStreamIndex, inputType.Get(), nullptr);
}

HRESULT ScreenRecorder::SubmitSample(DWORD streamIndex, DWORD length, const std::function<void(BYTE*)>& fill,
                                     LONGLONG time, LONGLONG duration, bool* filled) {
  if (filled) *filled = false;
  const MediaFoundationApi* mf = MediaFoundation();
  if (!mf) return E_NOINTERFACE;
  ComPtr<IMFMediaBuffer> buffer;
  RETURN_IF_FAILED(mf->CreateMemoryBuffer(length, &buffer));
  BYTE* memory = nullptr;
  RETURN_IF_FAILED(buffer->Lock(&memory, nullptr, nullptr));
  fill(memory);
  if (filled) *filled = true;
  RETURN_IF_FAILED(buffer->Unlock());
  RETURN_IF_FAILED(buffer->SetCurrentLength(length));

  ComPtr<IMFSample> sample;
  RETURN_IF_FAILED(mf->CreateSample(&sample));
  RETURN_IF_FAILED(sample->AddBuffer(buffer.Get()));
  RETURN_IF_FAILED(sample->SetSampleTime(time));
  RETURN_IF_FAILED(sample->SetSampleDuration(duration));

  std::lock_guard<std::mutex> lock(writerLock);
  // Null once Stop has finished the file; a late sample is simply dropped.
  if (!sinkWriter) return S_OK;
  const HRESULT hr = sinkWriter->WriteSample(streamIndex, sample.Get());
  // One refusal may pass; two seconds of nothing but refusals is a file that
  // can no longer be written (disk full, folder gone).
  const uint64_t now = GetTickCount64();
  if (SUCCEEDED(hr)) {
    refusingSinceMs_ = 0;
  } else if (refusingSinceMs_ == 0) {
    refusingSinceMs_ = now;
  } else if (now - refusingSinceMs_ >= kRefusalLimitMs) {
    outputRefused_ = true;
  }
  return hr;
}
