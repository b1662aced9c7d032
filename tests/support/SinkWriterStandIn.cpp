#include "tests/support/SinkWriterStandIn.h"

#include <mferror.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>

#include "common/Win32Handles.h"

namespace {

std::mutex g_lock;
StandInOptions g_options;
std::vector<std::shared_ptr<StandInRecord>> g_records;

const char* const kStepNames[] = {"Create",       "AddStream",   "SetInputMediaType", "GetServiceForStream",
                                  "BeginWriting", "WriteSample", "Finalize"};

bool StepNamed(const std::string& name, StandInStep& step) {
  for (int i = 0; i < 7; ++i) {
    if (name != kStepNames[i]) continue;
    step = static_cast<StandInStep>(i);
    return true;
  }
  return false;
}

void Append(const unique_file& file, const void* data, DWORD length) {
  DWORD written = 0;
  if (file) WriteFile(file.get(), data, length, &written, nullptr);
}

unique_file OpenForAppend(const std::wstring& path) {
  if (path.empty()) return unique_file();
  return unique_file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

class StandInSinkWriter final : public IMFSinkWriter {
 public:
  StandInSinkWriter(StandInOptions options, std::shared_ptr<StandInRecord> record, unique_file output)
      : options_(std::move(options)),
        record_(std::move(record)),
        journal_(OpenForAppend(options_.journalPath)),
        rawVideo_(OpenForAppend(options_.rawVideoPath)),
        rawAudio_(OpenForAppend(options_.rawAudioPath)),
        output_(std::move(output)) {}

  ~StandInSinkWriter() {
    std::lock_guard<std::mutex> lock(record_->lock);
    record_->released = true;
  }

  // Records a call (and fails it when told to). Returns the status to give.
  HRESULT Record(StandInCall call, HRESULT natural = S_OK) {
    {
      std::lock_guard<std::mutex> lock(record_->lock);
      const int nth = ++stepCounts_[static_cast<int>(call.step)];
      if (SUCCEEDED(natural) && options_.failOnCall == nth && options_.failStep == call.step) natural = E_FAIL;
      call.result = natural;
      const std::string line = JournalLine(call);
      Append(journal_, line.data(), static_cast<DWORD>(line.size()));
      if (options_.keepCalls) record_->calls.push_back(call);
    }
    if (options_.onCall) options_.onCall(call);
    return natural;
  }

  // The engine holds the writer only as the IMFSinkWriter it was made as.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* type, DWORD* index) override {
    StandInCall call(StandInStep::AddStream, static_cast<DWORD>(streams_.size()));
    Stream added;
    UINT64 size = 0;
    type->GetGUID(MF_MT_MAJOR_TYPE, &added.major);
    if (SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size))) {
      call.width = static_cast<int>(size >> 32);
      call.height = static_cast<int>(size & 0xffffffff);
    }
    const HRESULT hr = Record(call, begun_ ? MF_E_INVALIDREQUEST : S_OK);
    if (SUCCEEDED(hr)) {
      streams_.push_back(added);
      *index = call.stream;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD stream, IMFMediaType*, IMFAttributes*) override {
    StandInCall call(StandInStep::SetInputMediaType, stream);
    const HRESULT hr =
        Record(call, stream >= streams_.size() ? MF_E_INVALIDSTREAMNUMBER : begun_ ? MF_E_INVALIDREQUEST : S_OK);
    if (SUCCEEDED(hr)) streams_[stream].hasInput = true;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE BeginWriting() override {
    StandInCall call(StandInStep::BeginWriting);
    HRESULT natural = begun_ || streams_.empty() ? MF_E_INVALIDREQUEST : S_OK;
    for (const Stream& s : streams_) {
      if (!s.hasInput) natural = MF_E_INVALIDMEDIATYPE;
    }
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) begun_ = true;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE WriteSample(DWORD stream, IMFSample* sample) override {
    BeginCall();
    StandInCall call(StandInStep::WriteSample, stream);
    const Stream* s = stream < streams_.size() ? &streams_[stream] : nullptr;
    const bool video = s && s->major == MFMediaType_Video, audio = s && s->major == MFMediaType_Audio;
    HRESULT natural = E_POINTER;
    std::vector<uint8_t> bytes;
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    if (sample && SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) &&
        SUCCEEDED(buffer->Lock(&data, nullptr, &call.length))) {
      sample->GetSampleTime(&call.time);
      sample->GetSampleDuration(&call.duration);
      if (video && options_.keepVideoFrames) bytes.assign(data, data + call.length);
      if (video) Append(rawVideo_, data, call.length);
      if (audio) Append(rawAudio_, data, call.length);
      buffer->Unlock();
      if (!s) natural = MF_E_INVALIDSTREAMNUMBER;
      else if (!begun_ || finalized_) natural = MF_E_INVALIDREQUEST;
      else natural = GrowOutput(call.length);
    }
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(record_->lock);
      if (video && options_.keepVideoFrames) record_->videoFrames.push_back(std::move(bytes));
      if (video && options_.encoderBacklog > 0) {
        held_.emplace_back(sample);
        if (held_.size() > options_.encoderBacklog) held_.erase(held_.begin());
      }
    }
    --busy_;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SendStreamTick(DWORD, LONGLONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PlaceMarker(DWORD, LPVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyEndOfSegment(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Flush(DWORD) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE Finalize() override {
    BeginCall();
    StandInCall call(StandInStep::Finalize);
    // The index goes at the end of the file: a disk that filled up fails it.
    const HRESULT natural = begun_ && !finalized_ ? GrowOutput(4096 * options_.outputShare) : MF_E_INVALIDREQUEST;
    const HRESULT hr = Record(call, natural);
    finalized_ = true;
    --busy_;
    return hr;
  }

  // The encoder's property interface is not offered: tuning it is best effort.
  HRESULT STDMETHODCALLTYPE GetServiceForStream(DWORD stream, REFGUID, REFIID, LPVOID* object) override {
    *object = nullptr;
    return Record(StandInCall(StandInStep::GetServiceForStream, stream), MF_E_UNSUPPORTED_SERVICE);
  }

  HRESULT STDMETHODCALLTYPE GetStatistics(DWORD, MF_SINK_WRITER_STATISTICS*) override { return E_NOTIMPL; }

 private:
  struct Stream {
    GUID major = GUID_NULL;
    bool hasInput = false;
  };

  // A write or the finish begins (each ends with --busy_): one begun during
  // another is counted, and each takes the time it is told to.
  void BeginCall() {
    if (busy_++ > 0) {
      std::lock_guard<std::mutex> lock(record_->lock);
      ++record_->overlappingCalls;
    }
    if (options_.callMs) Sleep(options_.callMs);
  }

  // What the encoder would add to the file for a sample of this length. The
  // first failed write is kept, like a broken stream.
  HRESULT GrowOutput(DWORD length) {
    if (FAILED(outputError_) || !output_ || options_.outputShare == 0) return outputError_;
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
  unique_file journal_, rawVideo_, rawAudio_, output_;
  HRESULT outputError_ = S_OK;
  std::vector<Stream> streams_;
  std::vector<ComPtr<IMFSample>> held_;
  std::atomic<int> busy_{0};
  int stepCounts_[7] = {};
  bool begun_ = false;
  bool finalized_ = false;
};

}  // namespace

const char* StandInStepName(StandInStep step) { return kStepNames[static_cast<int>(step)]; }

std::wstring FromEnvironment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length < MAX_PATH ? value : L"";
}

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

std::vector<std::shared_ptr<StandInRecord>> StandInRecords() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_records;
}

void StandInReset(const StandInOptions& options) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_options = options;
  g_records.clear();
}

HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream*, IMFAttributes*,
                                               IMFSinkWriter** sinkWriter) {
  *sinkWriter = nullptr;
  StandInOptions options;
  auto record = std::make_shared<StandInRecord>();
  {
    std::lock_guard<std::mutex> lock(g_lock);
    options = g_options;
    g_records.push_back(record);
  }
  // Like the platform's writer, make (or empty) the output file right away:
  // a folder that does not exist or cannot be written fails here. A failure
  // we were told of comes first, so no file is made.
  HRESULT natural = url ? S_OK : E_INVALIDARG;
  unique_file output;
  if (url && !(options.failStep == StandInStep::Create && options.failOnCall == 1)) {
    output.reset(CreateFileW(url, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) natural = HRESULT_FROM_WIN32(GetLastError());
  }
  auto* writer = new StandInSinkWriter(options, record, std::move(output));
  const HRESULT hr = writer->Record(StandInCall(StandInStep::Create), natural);
  if (FAILED(hr)) {
    writer->Release();
    return hr;
  }
  *sinkWriter = writer;
  return S_OK;
}

StandInOptions StandInOptionsFromEnvironment(const std::wstring& outputPath) {
  StandInOptions options;
  const std::wstring journalDir = FromEnvironment(L"QM_STANDIN_JOURNAL_DIR");
  const std::wstring name = outputPath.substr(outputPath.find_last_of(L"\\/") + 1);  // all of it without a folder
  options.journalPath = (journalDir.empty() ? outputPath : journalDir + L"\\" + name) + L".standin.log";
  if (FromEnvironment(L"QM_STANDIN_RAW") == L"1") {
    options.rawVideoPath = outputPath + L".standin.video";
    options.rawAudioPath = outputPath + L".standin.audio";
  }
  options.outputShare = static_cast<unsigned>(wcstoul(FromEnvironment(L"QM_STANDIN_OUTPUT_SHARE").c_str(), nullptr, 10));
  // A step to fail at its first call, by name.
  const std::wstring fail = FromEnvironment(L"QM_STANDIN_FAIL");
  if (StepNamed(std::string(fail.begin(), fail.end()), options.failStep)) options.failOnCall = 1;
  return options;
}

std::string JournalLine(const StandInCall& call) {
  char line[160];
  std::snprintf(line, sizeof line, "%s %08lx %lu %lld %lld %lu %d %d\n", StandInStepName(call.step),
                static_cast<unsigned long>(call.result), call.stream, call.time, call.duration, call.length, call.width,
                call.height);
  return line;
}

bool ParseJournalLine(const std::string& line, StandInCall& call) {
  char step[32] = {};
  unsigned long result = 0;  // HRESULT is signed
  if (std::sscanf(line.c_str(), "%31s %lx %lu %lld %lld %lu %d %d", step, &result, &call.stream, &call.time,
                  &call.duration, &call.length, &call.width, &call.height) != 8) {
    return false;
  }
  call.result = static_cast<HRESULT>(result);
  return StepNamed(step, call.step);
}
