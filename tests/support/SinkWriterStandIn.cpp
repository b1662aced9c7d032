#include "tests/support/SinkWriterStandIn.h"

#include <mferror.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "common/HResult.h"
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

// Boxes of an MP4 header or moof, built in memory: mostly big-endian words.
class Boxes {
 public:
  void Put(std::initializer_list<uint32_t> words) {
    size_t at = bytes.size();
    bytes.resize(at + 4 * words.size());
    for (uint32_t word : words) {
      for (int shift = 24; shift >= 0; shift -= 8) bytes[at++] = static_cast<uint8_t>(word >> shift);
    }
  }
  // `header`: a full box's version (top byte) and flags, and what follows.
  size_t Open(const char* type, std::initializer_list<uint32_t> header = {}) {
    const size_t at = bytes.size();
    Put({0});
    bytes.insert(bytes.end(), type, type + 4);
    Put(header);
    return at;
  }
  void Close(size_t at) {
    const size_t size = bytes.size() - at;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  }
  void Leaf(const char* type, std::initializer_list<uint32_t> words) { Close(Open(type, words)); }
  void Matrix() { Put({0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000}); }

  std::vector<uint8_t> bytes;
};

uint32_t Tag(const char* t) { return static_cast<uint32_t>(t[0] << 24 | t[1] << 16 | t[2] << 8 | t[3]); }

struct Mp4Track {
  bool video = false;  // else sound
  uint32_t width = 0, height = 0, channels = 0, rate = 0;
  uint32_t Timescale() const { return video ? 90000 : rate; }
};

// A fragmented MP4, written as the samples come: each goes straight into
// its fragment's mdat, behind room kept for the moof (a traf per track: tfhd
// with the moof as base, tfdt, a trun per stretch of one track's samples).
// Once the fragment is whole, the moof, a free box over the rest of the room
// and the mdat's header go there, so a fragment cut short has zeros where its
// moof goes. The first failed write is kept, like a broken stream.
class FragmentedMp4 {
 public:
  FragmentedMp4(HANDLE file, std::vector<Mp4Track> tracks)
      : file_(file), tracks_(std::move(tracks)), last_(tracks_.size()) {}

  HRESULT Begin() {
    Boxes b;
    b.Leaf("ftyp", {Tag("iso6"), 0, Tag("iso6"), Tag("isom")});
    const size_t moov = b.Open("moov"), mvhd = b.Open("mvhd", {0, 0, 0, 1000, 0, 0x10000, 0x1000000, 0, 0});
    b.Matrix();
    b.Put({0, 0, 0, 0, 0, 0, static_cast<uint32_t>(tracks_.size() + 1)});
    b.Close(mvhd);
    for (uint32_t id = 1; id <= tracks_.size(); ++id) AddTrack(b, id);
    const size_t mvex = b.Open("mvex");
    for (uint32_t id = 1; id <= tracks_.size(); ++id) b.Leaf("trex", {0, id, 1, 0, 0, 0});  // flags 0: sync samples
    for (size_t box : {mvex, moov}) b.Close(box);
    fragment_ = b.bytes.size();
    return Write(0, b.bytes.data(), b.bytes.size());
  }

  HRESULT Add(uint32_t track, LONGLONG time, LONGLONG duration, const BYTE* data, uint32_t length) {
    if (FAILED(error_)) return error_;
    const Mp4Track& t = tracks_[track];
    // 60 frames a fragment; its moof (a traf per track, at worst a trun per
    // sample) and a free box's header in the room kept; its data within
    // reach of a trun's 32-bit offsets.
    if (!runs_.empty() && ((t.video && videoFrames_ == kFramesPerFragment) ||
                           32 + 44 * tracks_.size() + 28 * (samples_ + 1) > kMoofRoom ||
                           dataBytes_ + length > INT32_MAX - kMoofRoom - 8)) {
      RETURN_IF_FAILED(EndFragment());
      return Add(track, time, duration, data, length);
    }
    Last& last = last_[track];
    const uint64_t at = Ticks(time, t);
    // A sample lasts until the next of its track, the last as long as it says.
    if (last.run >= 0) *(runs_[last.run].entries.end() - 2) = Span(last.time, at);
    else last.start = at;
    if (runs_.empty() || runs_.back().track != track) {
      runs_.push_back(Run{track, static_cast<uint32_t>(kMoofRoom + 8 + dataBytes_), {}});
    }
    runs_.back().entries.insert(runs_.back().entries.end(), {Span(at, Ticks(time + duration, t)), length});
    last.run = static_cast<int>(runs_.size() - 1);
    last.time = at;

    const uint64_t offset = fragment_ + kMoofRoom + 8 + dataBytes_;
    dataBytes_ += length;
    videoFrames_ += t.video;
    ++samples_;
    if (!t.video || length != t.width * t.height * 4) return Write(offset, data, length);
    // Handed bottom row first, B,G,R,X; the file's rows go top first, X,R,G,B.
    scratch_.resize(length);
    const size_t row = t.width * 4;
    for (size_t y = 0; y < t.height; ++y) {
      const BYTE* from = data + (t.height - 1 - y) * row;
      for (size_t x = 0; x < row; x += 4) std::reverse_copy(from + x, from + x + 4, &scratch_[y * row + x]);
    }
    return Write(offset, scratch_.data(), length);
  }

  HRESULT EndFragment() {
    if (FAILED(error_) || runs_.empty()) return error_;
    Boxes b;
    const size_t moof = b.Open("moof");
    b.Leaf("mfhd", {0, ++sequence_});
    for (uint32_t track = 0; track < tracks_.size(); ++track) {
      if (last_[track].run < 0) continue;
      const size_t traf = b.Open("traf");
      b.Leaf("tfhd", {0x20000, track + 1});  // offsets from the moof
      const uint64_t start = last_[track].start;
      b.Leaf("tfdt", {0x1000000, static_cast<uint32_t>(start >> 32), static_cast<uint32_t>(start)});
      for (const Run& run : runs_) {
        if (run.track != track) continue;
        // Data offset, durations and sizes.
        const size_t trun = b.Open("trun", {0x301, static_cast<uint32_t>(run.entries.size() / 2), run.offset});
        for (uint32_t entry : run.entries) b.Put({entry});
        b.Close(trun);
      }
      b.Close(traf);
    }
    b.Close(moof);
    const size_t free = b.Open("free");
    b.bytes.resize(kMoofRoom);
    b.Close(free);
    b.Put({static_cast<uint32_t>(8 + dataBytes_), Tag("mdat")});
    // The moof's type goes last, in a write of its own: a write cut short by
    // a kill may leave part of the rest, but no moof.
    b.bytes[4] = 0;
    RETURN_IF_FAILED(Write(fragment_, b.bytes.data(), b.bytes.size()));
    RETURN_IF_FAILED(Write(fragment_ + 4, "m", 1));
    fragment_ += kMoofRoom + 8 + dataBytes_;
    runs_.clear();
    last_.assign(tracks_.size(), Last());
    dataBytes_ = 0, videoFrames_ = 0, samples_ = 0;
    return S_OK;
  }

 private:
  static constexpr uint32_t kMoofRoom = 32768;
  static constexpr int kFramesPerFragment = 60;  // the program's key-frame interval
  struct Run {  // samples of one track, one after another in the mdat
    uint32_t track;
    uint32_t offset;                // from the moof
    std::vector<uint32_t> entries;  // duration and size of each
  };
  struct Last {  // a track's latest sample in the fragment, and its first's time
    int run = -1;
    uint64_t start = 0, time = 0;
  };

  static uint64_t Ticks(LONGLONG time, const Mp4Track& t) {
    return time <= 0 ? 0 : (static_cast<uint64_t>(time) * t.Timescale() + 5000000) / 10000000;
  }
  // Never 0, so that times keep rising.
  static uint32_t Span(uint64_t from, uint64_t to) {
    return to <= from ? 1 : static_cast<uint32_t>(std::min<uint64_t>(to - from, UINT32_MAX));
  }

  void AddTrack(Boxes& b, uint32_t id) {
    const Mp4Track& t = tracks_[id - 1];
    const size_t trak = b.Open("trak"), tkhd = b.Open("tkhd", {3, 0, 0, id, 0, 0, 0, 0, 0, t.video ? 0 : 0x1000000u});
    b.Matrix();
    b.Put({t.width << 16, t.height << 16});
    b.Close(tkhd);
    const size_t mdia = b.Open("mdia");
    b.Leaf("mdhd", {0, 0, 0, t.Timescale(), 0, 0x55c40000});  // "und"
    b.Leaf("hdlr", {0, 0, Tag(t.video ? "vide" : "soun"), 0, 0, 0, 0});
    const size_t minf = b.Open("minf");
    if (t.video) b.Leaf("vmhd", {1, 0, 0});
    else b.Leaf("smhd", {0, 0});
    const size_t dinf = b.Open("dinf"), dref = b.Open("dref", {0, 1});
    b.Leaf("url ", {1});  // the media is in this file
    for (size_t box : {dref, dinf}) b.Close(box);
    const size_t stbl = b.Open("stbl"), stsd = b.Open("stsd", {0, 1});
    if (t.video) {
      const size_t entry = b.Open("raw ", {0, 1, 0, 0, 0, 0, t.width << 16 | t.height, 0x480000, 0x480000, 0, 0x10000});
      b.Put({0, 0, 0, 0, 0, 0, 0, 32});   // no compressor name; depth 32
      b.bytes.insert(b.bytes.end(), 2, 0xff);  // no colour table
      b.Close(entry);
    } else {
      // Rates past 16 bits are left to the mdhd, as FFmpeg reads them.
      b.Leaf("sowt", {0, 1, 0, 0, t.channels << 16 | 16, 0, t.rate <= 0xffff ? t.rate << 16 : 0});
    }
    b.Close(stsd);
    for (const char* table : {"stts", "stsc", "stco"}) b.Leaf(table, {0, 0});
    b.Leaf("stsz", {0, 0, 0});
    for (size_t box : {stbl, minf, mdia, trak}) b.Close(box);
  }

  HRESULT Write(uint64_t offset, const void* data, size_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    if (SUCCEEDED(error_) &&
        (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) ||
         !WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size)) {
      error_ = HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_DISK_FULL);
    }
    return error_;
  }

  HANDLE file_;
  std::vector<Mp4Track> tracks_;
  std::vector<Last> last_;
  std::vector<Run> runs_;
  std::vector<BYTE> scratch_;
  uint64_t fragment_ = 0;  // where the fragment's moof goes
  uint64_t dataBytes_ = 0;
  int videoFrames_ = 0;
  size_t samples_ = 0;
  uint32_t sequence_ = 0;
  HRESULT error_ = S_OK;
};

class StandInSinkWriter final : public IMFSinkWriter {
 public:
  StandInSinkWriter(StandInOptions options, std::shared_ptr<StandInRecord> record, unique_file output,
                    bool hardware)
      : hardware_(hardware),
        options_(std::move(options)),
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
    added.track = Mp4Track{added.major == MFMediaType_Video, static_cast<uint32_t>(call.width),
                           static_cast<uint32_t>(call.height)};
    const HRESULT hr = Record(call, begun_ ? MF_E_INVALIDREQUEST : S_OK);
    if (SUCCEEDED(hr)) {
      streams_.push_back(added);
      *index = call.stream;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD stream, IMFMediaType* type, IMFAttributes*) override {
    StandInCall call(StandInStep::SetInputMediaType, stream);
    HRESULT natural = stream >= streams_.size() ? MF_E_INVALIDSTREAMNUMBER : begun_ ? MF_E_INVALIDREQUEST : S_OK;
    if (SUCCEEDED(natural) && hardware_ && options_.hardwareRefusesVideo && streams_[stream].track.video) {
      natural = MF_E_INVALIDMEDIATYPE;
    }
    const HRESULT hr = Record(call, natural);
    if (SUCCEEDED(hr)) streams_[stream].hasInput = true;
    if (SUCCEEDED(hr) && type) {  // the sound goes into the file as it comes in
      type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &streams_[stream].track.channels);
      type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &streams_[stream].track.rate);
    }
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
    if (SUCCEEDED(hr) && options_.fragmentedMp4 && output_) {
      std::vector<Mp4Track> tracks;
      for (const Stream& s : streams_) tracks.push_back(s.track);
      mp4_.reset(new FragmentedMp4(output_.get(), std::move(tracks)));
      mp4_->Begin();  // a failure is the next sample's and Finalize's
    }
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
      if (!s) natural = MF_E_INVALIDSTREAMNUMBER;
      else if (!begun_ || finalized_) natural = MF_E_INVALIDREQUEST;
      else if (!mp4_) natural = GrowOutput(call.length);
      else if (ToldToFail(StandInStep::WriteSample)) natural = S_OK;
      else natural = mp4_->Add(stream, call.time, call.duration, data, call.length);
      buffer->Unlock();
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
    // A real file's last fragment is left torn by a Finalize told to fail.
    HRESULT natural = MF_E_INVALIDREQUEST;
    if (begun_ && !finalized_) natural = mp4_ ? S_OK : GrowOutput(4096 * options_.outputShare);
    if (begun_ && !finalized_ && mp4_ && !ToldToFail(StandInStep::Finalize)) natural = mp4_->EndFragment();
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
    Mp4Track track;
  };

  // Whether Record will fail this call as told: then the file takes no part in it.
  bool ToldToFail(StandInStep step) {
    std::lock_guard<std::mutex> lock(record_->lock);
    return options_.failStep == step && options_.failOnCall == stepCounts_[static_cast<int>(step)] + 1;
  }

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
  const bool hardware_;  // asked for hardware transforms
  StandInOptions options_;
  std::shared_ptr<StandInRecord> record_;
  unique_file journal_, rawVideo_, rawAudio_, output_;
  std::unique_ptr<FragmentedMp4> mp4_;  // once begun, when asked for and not turned off
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

HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream*, IMFAttributes* attributes,
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
  GUID container = GUID_NULL;
  UINT32 hardware = FALSE;
  if (attributes) {
    attributes->GetGUID(MF_TRANSCODE_CONTAINERTYPE, &container);
    attributes->GetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, &hardware);
  }
  options.fragmentedMp4 = options.fragmentedMp4 && container == MFTranscodeContainerType_FMPEG4;
  auto* writer = new StandInSinkWriter(options, record, std::move(output), hardware != FALSE);
  StandInCall call(StandInStep::Create);
  call.hardwareTransforms = hardware != FALSE;
  const HRESULT hr = writer->Record(call, natural);
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
  options.fragmentedMp4 = FromEnvironment(L"QM_STANDIN_MP4") != L"0";
  options.hardwareRefusesVideo = FromEnvironment(L"QM_STANDIN_HARDWARE_REFUSES") == L"1";
  options.outputShare = static_cast<unsigned>(wcstoul(FromEnvironment(L"QM_STANDIN_OUTPUT_SHARE").c_str(), nullptr, 10));
  // A step to fail at its first call, by name.
  const std::wstring fail = FromEnvironment(L"QM_STANDIN_FAIL");
  if (StepNamed(std::string(fail.begin(), fail.end()), options.failStep)) options.failOnCall = 1;
  return options;
}

std::string JournalLine(const StandInCall& call) {
  char line[160];
  std::snprintf(line, sizeof line, "%s %08lx %lu %lld %lld %lu %d %d %d\n", StandInStepName(call.step),
                static_cast<unsigned long>(call.result), call.stream, call.time, call.duration, call.length, call.width,
                call.height, call.hardwareTransforms ? 1 : 0);
  return line;
}

bool ParseJournalLine(const std::string& line, StandInCall& call) {
  char step[32] = {};
  unsigned long result = 0;  // HRESULT is signed
  int hardware = 0;
  if (std::sscanf(line.c_str(), "%31s %lx %lu %lld %lld %lu %d %d %d", step, &result, &call.stream, &call.time,
                  &call.duration, &call.length, &call.width, &call.height, &hardware) < 8) {
    return false;
  }
  call.result = static_cast<HRESULT>(result);
  call.hardwareTransforms = hardware != 0;
  return StepNamed(step, call.step);
}
