#include "tests/support/SinkWriterStandIn.h"

#include <mferror.h>
#include <propvarutil.h>
#include <strmif.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "common/Win32Handles.h"
#include "recorder/CodecApi.h"

namespace {

std::mutex g_lock;
StandInOptions g_options;
std::vector<std::shared_ptr<StandInRecord>> g_records;

struct NamedGuid {
  GUID guid;
  const char* name;
};

const NamedGuid kGuidNames[] = {
    {MF_MT_MAJOR_TYPE, "MF_MT_MAJOR_TYPE"},
    {MF_MT_SUBTYPE, "MF_MT_SUBTYPE"},
    {MF_MT_AVG_BITRATE, "MF_MT_AVG_BITRATE"},
    {MF_MT_INTERLACE_MODE, "MF_MT_INTERLACE_MODE"},
    {MF_MT_FRAME_SIZE, "MF_MT_FRAME_SIZE"},
    {MF_MT_FRAME_RATE, "MF_MT_FRAME_RATE"},
    {MF_MT_PIXEL_ASPECT_RATIO, "MF_MT_PIXEL_ASPECT_RATIO"},
    {MF_MT_DEFAULT_STRIDE, "MF_MT_DEFAULT_STRIDE"},
    {MF_MT_AUDIO_BITS_PER_SAMPLE, "MF_MT_AUDIO_BITS_PER_SAMPLE"},
    {MF_MT_AUDIO_SAMPLES_PER_SECOND, "MF_MT_AUDIO_SAMPLES_PER_SECOND"},
    {MF_MT_AUDIO_NUM_CHANNELS, "MF_MT_AUDIO_NUM_CHANNELS"},
    {MF_MT_AUDIO_AVG_BYTES_PER_SECOND, "MF_MT_AUDIO_AVG_BYTES_PER_SECOND"},
    {MF_MT_AUDIO_BLOCK_ALIGNMENT, "MF_MT_AUDIO_BLOCK_ALIGNMENT"},
    {MF_MT_ALL_SAMPLES_INDEPENDENT, "MF_MT_ALL_SAMPLES_INDEPENDENT"},
    {MF_MT_MPEG2_PROFILE, "MF_MT_MPEG2_PROFILE"},
    {MF_MT_AAC_PAYLOAD_TYPE, "MF_MT_AAC_PAYLOAD_TYPE"},
    {MF_SINK_WRITER_DISABLE_THROTTLING, "MF_SINK_WRITER_DISABLE_THROTTLING"},
    {MFMediaType_Video, "MFMediaType_Video"},
    {MFMediaType_Audio, "MFMediaType_Audio"},
    {MFVideoFormat_H264, "MFVideoFormat_H264"},
    {MFVideoFormat_RGB32, "MFVideoFormat_RGB32"},
    {MFAudioFormat_AAC, "MFAudioFormat_AAC"},
    {MFAudioFormat_PCM, "MFAudioFormat_PCM"},
    // Written out here rather than taken from the engine, so that a wrong
    // identifier there shows up as an unknown one.
    {{0x95f31b26, 0x95a4, 0x41aa, {0x93, 0x03, 0x24, 0x6a, 0x7f, 0xc6, 0xee, 0xf1}}, "CODECAPI_AVEncMPVGOPSize"},
    {{0x1c0608e9, 0x370c, 0x4710, {0x8a, 0x58, 0xcb, 0x61, 0x81, 0xc4, 0x24, 0x23}}, "CODECAPI_AVEncCommonRateControlMode"},
    {{0x9c27891a, 0xed7a, 0x40e1, {0x88, 0xe8, 0xb2, 0x27, 0x27, 0xa0, 0x24, 0xee}}, "CODECAPI_AVLowLatencyMode"},
    {{0x901db4c7, 0x31ce, 0x41a2, {0x85, 0xdc, 0x8f, 0xa0, 0xbf, 0x41, 0xb8, 0xda}}, "IID_ICodecAPI"},
    {GUID_NULL, "GUID_NULL"},
};

const char* const kStepNames[] = {"Create",       "AddStream",   "SetInputMediaType", "GetServiceForStream",
                                  "CodecSetValue", "BeginWriting", "WriteSample",       "Finalize"};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string AttributeJson(const StandInAttribute& a) {
  std::string out = "{\"key\":" + JsonString(GuidName(a.key)) + ",";
  switch (a.type) {
    case MF_ATTRIBUTE_UINT32:
      return out + "\"type\":\"u32\",\"value\":" + std::to_string(a.number) + "}";
    case MF_ATTRIBUTE_UINT64:
      return out + "\"type\":\"u64\",\"value\":" + std::to_string(a.number) + ",\"high\":" +
             std::to_string(a.number >> 32) + ",\"low\":" + std::to_string(a.number & 0xffffffffu) + "}";
    case MF_ATTRIBUTE_DOUBLE:
      return out + "\"type\":\"double\",\"value\":" + std::to_string(a.real) + "}";
    case MF_ATTRIBUTE_GUID:
      return out + "\"type\":\"guid\",\"value\":" + JsonString(GuidName(a.guid)) + "}";
    case MF_ATTRIBUTE_STRING:
      return out + "\"type\":\"string\",\"value\":" + JsonString(Utf8(a.text)) + "}";
    default:
      return out + "\"type\":\"blob\",\"size\":" + std::to_string(a.blob.size()) + "}";
  }
}

std::string CallJson(const StandInCall& call) {
  std::string out = "{\"step\":" + JsonString(StandInStepName(call.step)) +
                    ",\"result\":" + JsonString(Hex(static_cast<uint32_t>(call.result), 8)) +
                    ",\"thread\":" + std::to_string(call.threadId);
  switch (call.step) {
    case StandInStep::Create:
      out += ",\"path\":" + JsonString(Utf8(call.path));
      break;
    case StandInStep::CodecSetValue:
      out += ",\"property\":" + JsonString(GuidName(call.property)) + ",\"vt\":" + std::to_string(call.valueType) +
             ",\"value\":" + std::to_string(call.value);
      break;
    case StandInStep::WriteSample:
      out += ",\"stream\":" + std::to_string(call.stream) + ",\"time\":" + std::to_string(call.time) +
             ",\"duration\":" + std::to_string(call.duration) + ",\"length\":" + std::to_string(call.length) +
             ",\"hash\":" + JsonString(Hex(call.hash, 16));
      break;
    default:
      out += ",\"stream\":" + std::to_string(call.stream);
      break;
  }
  if (call.hasAttributes) {
    out += ",\"attributes\":[";
    for (size_t i = 0; i < call.attributes.size(); ++i) {
      if (i) out += ",";
      out += AttributeJson(call.attributes[i]);
    }
    out += "]";
  }
  return out + "}\n";
}

// Media Foundation's attribute stores keep items in the order they were set,
// which is what lets the record show the order the engine used.
std::vector<StandInAttribute> ReadAttributes(IMFAttributes* attributes) {
  std::vector<StandInAttribute> out;
  UINT32 count = 0;
  if (!attributes || FAILED(attributes->GetCount(&count))) return out;
  for (UINT32 i = 0; i < count; ++i) {
    StandInAttribute a;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(attributes->GetItemByIndex(i, &a.key, &value))) continue;
    PropVariantClear(&value);
    attributes->GetItemType(a.key, &a.type);
    switch (a.type) {
      case MF_ATTRIBUTE_UINT32: {
        UINT32 v = 0;
        attributes->GetUINT32(a.key, &v);
        a.number = v;
        break;
      }
      case MF_ATTRIBUTE_UINT64:
        attributes->GetUINT64(a.key, &a.number);
        break;
      case MF_ATTRIBUTE_DOUBLE:
        attributes->GetDouble(a.key, &a.real);
        break;
      case MF_ATTRIBUTE_GUID:
        attributes->GetGUID(a.key, &a.guid);
        break;
      case MF_ATTRIBUTE_STRING: {
        UINT32 length = 0;
        attributes->GetStringLength(a.key, &length);
        a.text.resize(length + 1);
        attributes->GetString(a.key, a.text.data(), length + 1, &length);
        a.text.resize(length);
        break;
      }
      case MF_ATTRIBUTE_BLOB: {
        UINT32 size = 0;
        attributes->GetBlobSize(a.key, &size);
        a.blob.resize(size);
        if (size) attributes->GetBlob(a.key, a.blob.data(), size, &size);
        break;
      }
      default:
        break;
    }
    out.push_back(std::move(a));
  }
  return out;
}

class StandInCodecApi;

class StandInSinkWriter final : public IMFSinkWriter {
 public:
  StandInSinkWriter(StandInOptions options, std::shared_ptr<StandInRecord> record, unique_file journal,
                    unique_file rawVideo, unique_file rawAudio, unique_file output)
      : options_(std::move(options)),
        record_(std::move(record)),
        journal_(std::move(journal)),
        rawVideo_(std::move(rawVideo)),
        rawAudio_(std::move(rawAudio)),
        output_(std::move(output)) {}

  ~StandInSinkWriter() {
    std::lock_guard<std::mutex> lock(record_->lock);
    record_->released = true;
  }

  // Records a call (and fails it when told to). Returns the status to give.
  HRESULT Record(StandInCall call, HRESULT natural = S_OK) {
    call.threadId = GetCurrentThreadId();
    {
      std::lock_guard<std::mutex> lock(record_->lock);
      const int nth = ++stepCounts_[static_cast<int>(call.step)];
      if (SUCCEEDED(natural) && options_.failOnCall != 0 && options_.failStep == call.step &&
          options_.failOnCall == nth) {
        natural = options_.failWith;
      }
      call.result = natural;
      if (journal_) {
        const std::string line = CallJson(call);
        DWORD written = 0;
        WriteFile(journal_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      }
      if (options_.keepCalls) record_->calls.push_back(call);
    }
    if (options_.onCall) options_.onCall(call);
    return natural;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMFSinkWriter) {
      *object = static_cast<IMFSinkWriter*>(this);
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

  // IMFSinkWriter
  HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* type, DWORD* index) override {
    StandInCall call;
    call.step = StandInStep::AddStream;
    call.hasAttributes = true;
    call.attributes = ReadAttributes(type);
    HRESULT natural = S_OK;
    if (!type || !index) natural = E_POINTER;
    else if (begun_) natural = MF_E_INVALIDREQUEST;
    call.stream = static_cast<DWORD>(streams_.size());
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) {
      Stream added;
      type->GetGUID(MF_MT_MAJOR_TYPE, &added.major);
      UINT64 size = 0;
      if (SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size))) {
        added.width = static_cast<int>(size >> 32);
        added.height = static_cast<int>(size & 0xffffffff);
      }
      streams_.push_back(added);
      *index = call.stream;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD stream, IMFMediaType* type, IMFAttributes*) override {
    StandInCall call;
    call.step = StandInStep::SetInputMediaType;
    call.stream = stream;
    call.hasAttributes = true;
    call.attributes = ReadAttributes(type);
    HRESULT natural = S_OK;
    if (!type) natural = E_POINTER;
    else if (stream >= streams_.size()) natural = MF_E_INVALIDSTREAMNUMBER;
    else if (begun_) natural = MF_E_INVALIDREQUEST;
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) streams_[stream].hasInput = true;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE BeginWriting() override {
    StandInCall call;
    call.step = StandInStep::BeginWriting;
    HRESULT natural = S_OK;
    if (begun_ || streams_.empty()) natural = MF_E_INVALIDREQUEST;
    for (const Stream& s : streams_) {
      if (!s.hasInput) natural = MF_E_INVALIDMEDIATYPE;
    }
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) begun_ = true;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE WriteSample(DWORD stream, IMFSample* sample) override {
    StandInCall call;
    call.step = StandInStep::WriteSample;
    call.stream = stream;
    HRESULT natural = S_OK;
    std::vector<uint8_t> bytes;
    if (!sample) {
      natural = E_POINTER;
    } else {
      sample->GetSampleTime(&call.time);
      sample->GetSampleDuration(&call.duration);
      ComPtr<IMFMediaBuffer> buffer;
      if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
        BYTE* data = nullptr;
        DWORD length = 0;
        if (SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
          call.length = length;
          if (options_.hashSamples) call.hash = StandInHash(data, length);
          const bool video = stream < streams_.size() && streams_[stream].major == MFMediaType_Video;
          const bool audio = stream < streams_.size() && streams_[stream].major == MFMediaType_Audio;
          if ((video && options_.keepVideoFrames) || (audio && options_.keepAudio)) bytes.assign(data, data + length);
          if (video && rawVideo_) WriteRawFrame(streams_[stream], data, length);
          if (audio && rawAudio_) {
            DWORD written = 0;
            WriteFile(rawAudio_.get(), data, length, &written, nullptr);
          }
          buffer->Unlock();
        }
      }
    }
    if (SUCCEEDED(natural)) {
      if (stream >= streams_.size()) natural = MF_E_INVALIDSTREAMNUMBER;
      else if (!begun_ || finalized_) natural = MF_E_INVALIDREQUEST;
      else if (FAILED(outputError_)) natural = outputError_;
      else natural = GrowOutput(call.length);
    }
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(record_->lock);
      ++streams_[stream].received;
      if (!bytes.empty()) {
        if (streams_[stream].major == MFMediaType_Video) {
          record_->videoFrames.push_back(std::move(bytes));
        } else {
          record_->audioBytes.insert(record_->audioBytes.end(), bytes.begin(), bytes.end());
        }
      }
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SendStreamTick(DWORD, LONGLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PlaceMarker(DWORD, LPVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyEndOfSegment(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Flush(DWORD) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE Finalize() override {
    StandInCall call;
    call.step = StandInStep::Finalize;
    HRESULT natural = begun_ && !finalized_ ? S_OK : MF_E_INVALIDREQUEST;
    // The index goes at the end of the file: a disk that filled up fails it.
    if (SUCCEEDED(natural)) natural = FAILED(outputError_) ? outputError_ : GrowOutput(4096 * options_.outputShare);
    const HRESULT hr = Record(call, natural);
    finalized_ = true;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetServiceForStream(DWORD stream, REFGUID service, REFIID riid, LPVOID* object) override;

  HRESULT STDMETHODCALLTYPE GetStatistics(DWORD stream, MF_SINK_WRITER_STATISTICS* stats) override {
    if (!stats || stats->cb != sizeof(*stats)) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(record_->lock);
    ++record_->statisticsQueries;
    if (stream >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
    const uint64_t received = streams_[stream].received;
    const uint64_t pending = options_.encoderBacklog < received ? options_.encoderBacklog : received;
    const DWORD cb = stats->cb;
    *stats = MF_SINK_WRITER_STATISTICS{};
    stats->cb = cb;
    stats->qwNumSamplesReceived = received;
    stats->qwNumSamplesEncoded = received - pending;
    stats->qwNumSamplesProcessed = options_.fileHoldsBack ? 0 : received - pending;
    return S_OK;
  }

  const StandInOptions& options() const { return options_; }

 private:
  struct Stream {
    GUID major = GUID_NULL;
    bool hasInput = false;
    uint64_t received = 0;
    int width = 0, height = 0;  // video
  };

  // The frame, or the crop of it, bottom row first as it came.
  void WriteRawFrame(const Stream& s, const BYTE* data, DWORD length) {
    const RECT& c = options_.rawVideoCrop;
    DWORD written = 0;
    const bool crop = c.right > c.left && c.bottom > c.top && c.left >= 0 && c.top >= 0 && c.right <= s.width &&
                      c.bottom <= s.height && static_cast<uint64_t>(s.width) * s.height * 4 == length;
    if (!crop) {
      WriteFile(rawVideo_.get(), data, length, &written, nullptr);
      return;
    }
    const DWORD rowBytes = static_cast<DWORD>(c.right - c.left) * 4;
    for (int y = c.bottom - 1; y >= c.top; --y) {
      const BYTE* row = data + (static_cast<size_t>(s.height - 1 - y) * s.width + c.left) * 4;
      WriteFile(rawVideo_.get(), row, rowBytes, &written, nullptr);
    }
  }

  // What the encoder would add to the file for a sample of this length.
  HRESULT GrowOutput(DWORD length) {
    if (!output_ || options_.outputShare == 0) return S_OK;
    std::vector<uint8_t> encoded(length / options_.outputShare + 1, 0x5a);
    DWORD written = 0;
    if (!WriteFile(output_.get(), encoded.data(), static_cast<DWORD>(encoded.size()), &written, nullptr) ||
        written != encoded.size()) {
      const DWORD error = GetLastError();
      outputError_ = HRESULT_FROM_WIN32(error ? error : ERROR_DISK_FULL);
    }
    return outputError_;
  }

  std::atomic<ULONG> refs_{1};
  StandInOptions options_;
  std::shared_ptr<StandInRecord> record_;
  unique_file journal_;
  unique_file rawVideo_;
  unique_file rawAudio_;
  unique_file output_;
  HRESULT outputError_ = S_OK;  // the first failed write, kept like a broken stream
  std::vector<Stream> streams_;
  int stepCounts_[8] = {};
  bool begun_ = false;
  bool finalized_ = false;
};

// The encoder's property interface: records each SetValue.
class StandInCodecApi final : public ICodecAPI {
 public:
  explicit StandInCodecApi(StandInSinkWriter* writer) : writer_(writer) { writer_->AddRef(); }
  ~StandInCodecApi() { writer_->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == kIidCodecApi) {
      *object = static_cast<ICodecAPI*>(this);
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

  HRESULT STDMETHODCALLTYPE SetValue(const GUID* api, VARIANT* value) override {
    StandInCall call;
    call.step = StandInStep::CodecSetValue;
    if (!api || !value) return writer_->Record(call, E_POINTER);
    call.property = *api;
    call.valueType = value->vt;
    call.value = value->vt == VT_BOOL ? static_cast<ULONG>(static_cast<USHORT>(value->boolVal)) : value->ulVal;
    return writer_->Record(call);
  }

  HRESULT STDMETHODCALLTYPE IsSupported(const GUID*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsModifiable(const GUID*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetParameterRange(const GUID*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParameterValues(const GUID*, VARIANT**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultValue(const GUID*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(const GUID*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterForEvent(const GUID*, LONG_PTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterForEvent(const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAllDefaults() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetValueWithNotify(const GUID*, VARIANT*, GUID**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAllDefaultsWithNotify(GUID**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAllSettings(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAllSettings(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAllSettingsWithNotify(IStream*, GUID**, ULONG*) override { return E_NOTIMPL; }

 private:
  std::atomic<ULONG> refs_{1};
  StandInSinkWriter* writer_;
};

HRESULT StandInSinkWriter::GetServiceForStream(DWORD stream, REFGUID service, REFIID riid, LPVOID* object) {
  StandInCall call;
  call.step = StandInStep::GetServiceForStream;
  call.stream = stream;
  call.property = riid;
  HRESULT natural = S_OK;
  if (!object) natural = E_POINTER;
  else if (stream >= streams_.size()) natural = MF_E_INVALIDSTREAMNUMBER;
  else if (service != GUID_NULL || riid != kIidCodecApi || !options_.offerCodecApi) natural = MF_E_UNSUPPORTED_SERVICE;
  const HRESULT hr = Record(call, natural);
  if (object) *object = SUCCEEDED(hr) ? static_cast<ICodecAPI*>(new StandInCodecApi(this)) : nullptr;
  return hr;
}

unique_file OpenForAppend(const std::wstring& path) {
  if (path.empty()) return unique_file();
  return unique_file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[512];
  const DWORD length = GetEnvironmentVariableW(name, value, 512);
  return length > 0 && length < 512 ? std::wstring(value, length) : std::wstring();
}

}  // namespace

const char* StandInStepName(StandInStep step) { return kStepNames[static_cast<int>(step)]; }

std::vector<StandInCall> StandInRecord::Calls(StandInStep step) {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<StandInCall> out;
  for (const StandInCall& call : calls) {
    if (call.step == step) out.push_back(call);
  }
  return out;
}

std::vector<StandInCall> StandInRecord::Samples(DWORD stream) {
  std::vector<StandInCall> out;
  for (StandInCall& call : Calls(StandInStep::WriteSample)) {
    if (call.stream == stream && SUCCEEDED(call.result)) out.push_back(call);
  }
  return out;
}

void StandInConfigure(const StandInOptions& options) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_options = options;
}

std::vector<std::shared_ptr<StandInRecord>> StandInRecords() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_records;
}

void StandInReset() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_options = StandInOptions{};
  g_records.clear();
}

HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream*, IMFAttributes* attributes,
                                               IMFSinkWriter** sinkWriter) {
  if (!sinkWriter) return E_POINTER;
  *sinkWriter = nullptr;
  StandInOptions options;
  auto record = std::make_shared<StandInRecord>();
  {
    std::lock_guard<std::mutex> lock(g_lock);
    options = g_options;
    g_records.push_back(record);
  }

  StandInCall call;
  call.step = StandInStep::Create;
  call.path = url ? url : L"";
  call.hasAttributes = attributes != nullptr;
  call.attributes = ReadAttributes(attributes);
  call.threadId = GetCurrentThreadId();

  // Like the platform's writer, make (or empty) the output file right away:
  // a folder that does not exist or cannot be written fails here.
  HRESULT hr = url ? S_OK : E_INVALIDARG;
  if (options.failStep == StandInStep::Create && options.failOnCall == 1) hr = options.failWith;
  if (SUCCEEDED(hr)) {
    unique_file file(CreateFileW(url, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) hr = HRESULT_FROM_WIN32(GetLastError());
  }
  call.result = hr;
  if (FAILED(hr)) {
    std::lock_guard<std::mutex> lock(record->lock);
    record->calls.push_back(call);
    return hr;
  }

  unique_file output;
  if (options.outputShare != 0) {
    output.reset(CreateFileW(url, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  }
  auto* writer = new StandInSinkWriter(options, record, OpenForAppend(options.journalPath),
                                       OpenForAppend(options.rawVideoPath), OpenForAppend(options.rawAudioPath),
                                       std::move(output));
  writer->Record(call, hr);
  *sinkWriter = writer;
  return S_OK;
}

StandInOptions StandInOptionsFromEnvironment(const std::wstring& outputPath) {
  StandInOptions options;
  options.journalPath = outputPath + L".standin.jsonl";
  const std::wstring journalDir = Environment(L"QM_STANDIN_JOURNAL_DIR");
  if (!journalDir.empty()) {
    const size_t slash = outputPath.find_last_of(L"\\/");
    options.journalPath = journalDir + L"\\" + outputPath.substr(slash == std::wstring::npos ? 0 : slash + 1) +
                          L".standin.jsonl";
  }
  if (Environment(L"QM_STANDIN_RAW") == L"1") {
    options.rawVideoPath = outputPath + L".standin.video";
    options.rawAudioPath = outputPath + L".standin.audio";
  }
  const std::wstring crop = Environment(L"QM_STANDIN_RAW_CROP");
  int x = 0, y = 0, w = 0, h = 0;
  if (!crop.empty() && swscanf(crop.c_str(), L"%d,%d,%d,%d", &x, &y, &w, &h) == 4 && w > 0 && h > 0) {
    options.rawVideoCrop = {x, y, x + w, y + h};
  }
  const std::wstring share = Environment(L"QM_STANDIN_OUTPUT_SHARE");
  if (!share.empty()) options.outputShare = static_cast<unsigned>(wcstoul(share.c_str(), nullptr, 10));
  if (Environment(L"QM_STANDIN_NO_CODECAPI") == L"1") options.offerCodecApi = false;
  const std::wstring backlog = Environment(L"QM_STANDIN_BACKLOG");
  if (!backlog.empty()) options.encoderBacklog = wcstoull(backlog.c_str(), nullptr, 10);
  const std::wstring fail = Environment(L"QM_STANDIN_FAIL");
  if (!fail.empty()) {
    const std::string request = Utf8(fail);
    for (int i = 0; i < 8; ++i) {
      const std::string name = kStepNames[i];
      if (request.compare(0, name.size(), name) != 0) continue;
      const char* rest = request.c_str() + name.size();
      if (*rest != '\0' && *rest != '@' && *rest != '=') continue;
      options.failStep = static_cast<StandInStep>(i);
      options.failOnCall = 1;
      if (*rest == '@') options.failOnCall = static_cast<int>(std::strtol(rest + 1, nullptr, 10));
      const char* status = std::strchr(rest, '=');
      if (status) options.failWith = static_cast<HRESULT>(std::strtoul(status + 1, nullptr, 16));
    }
  }
  return options;
}

uint64_t StandInHash(const uint8_t* data, size_t size) {
  // FNV-1a over 64-bit words: fast enough for a 1080p frame per sample.
  uint64_t hash = 0xcbf29ce484222325ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    hash = (hash ^ word) * 0x100000001b3ull;
    hash ^= hash >> 29;
  }
  for (; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  return hash;
}

std::string GuidName(const GUID& guid) {
  for (const NamedGuid& named : kGuidNames) {
    if (named.guid == guid) return named.name;
  }
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}
