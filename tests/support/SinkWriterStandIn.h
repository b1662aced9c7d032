#pragma once
// A sink writer that encodes nothing (the platform's cannot under Wine): it
// records the engine's calls and can be told to fail any step. Beside the
// unmodified program it is mfreadwrite.dll and keeps a journal of the calls.
//
// Asked for a fragmented MP4 (MF_TRANSCODE_CONTAINERTYPE = FMPEG4) it writes a
// real one, uncompressed, and leaves it fragmented: a moov of empty tables at
// BeginWriting, then a moof and mdat per 60 video frames, the last at
// Finalize (not when told to fail). Video is `raw ` of depth 32 at 90 kHz,
// top row first, X,R,G,B: FFmpeg reads it as argb, so decoded as bgra its
// rows are the handed frame's in reverse order, byte for byte (X as alpha).
// Sound is `sowt` (16-bit little-endian PCM) at its own rate, as handed.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum class StandInStep { Create, AddStream, SetInputMediaType, GetServiceForStream, BeginWriting, WriteSample, Finalize };

const char* StandInStepName(StandInStep step);

std::wstring FromEnvironment(const wchar_t* name);

struct StandInCall {
  explicit StandInCall(StandInStep s = StandInStep::Create, DWORD forStream = 0) : step(s), stream(forStream) {}
  StandInStep step;
  HRESULT result = S_OK;
  DWORD stream;
  int width = 0, height = 0;        // AddStream of a video stream
  LONGLONG time = 0, duration = 0;  // WriteSample
  DWORD length = 0;                 // WriteSample
  bool hardwareTransforms = false;  // Create: MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS asked for
};

struct StandInOptions {
  // Fail the nth (1-based) call of a step; 0 = never.
  StandInStep failStep = StandInStep::Create;
  int failOnCall = 0;
  // Video samples held on to, the last this many given, as an encoder
  // that has fallen behind holds them.
  size_t encoderBacklog = 0;
  // A writer asked for hardware transforms refuses the video input type, as
  // a hardware encoder may (SetInputMediaType fails).
  bool hardwareRefusesVideo = false;
  // How long each write and the finish take, so that calls made at once
  // from two threads would meet.
  DWORD callMs = 0;
  bool keepCalls = true;  // a long run wants only onCall
  bool keepVideoFrames = false;
  std::wstring journalPath;  // each call appended as a line
  std::wstring rawVideoPath, rawAudioPath;  // each sample's bytes appended
  // Each accepted sample grows the output file by its length / outputShare
  // bytes, as the encoder's output would (0: the file stays empty). A write
  // that fails (a full disk) fails the sample and Finalize with its status.
  // When writing a real MP4 its own writes take this role.
  unsigned outputShare = 0;
  // A real fragmented MP4 when the writer is asked for one; off, the file
  // is as without asking (long runs that want no file).
  bool fragmentedMp4 = true;
  // On the caller's thread, during the call.
  std::function<void(const StandInCall&)> onCall;
};

// Everything one writer saw; outlives the writer.
struct StandInRecord {
  std::mutex lock;
  std::vector<StandInCall> calls;
  std::vector<std::vector<uint8_t>> videoFrames;  // when keepVideoFrames
  bool released = false;
  int overlappingCalls = 0;  // a write or the finish begun during another

  std::vector<StandInCall> Calls(StandInStep step);
  std::vector<StandInCall> Samples(DWORD stream);  // accepted ones
};

// In-process: the records of the writers made so far (oldest first)
// forgotten, and options for those made from now on; the records.
void StandInReset(const StandInOptions& options = {});
std::vector<std::shared_ptr<StandInRecord>> StandInRecords();

// Same shape as MFCreateSinkWriterFromURL.
HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream* byteStream, IMFAttributes* attributes,
                                               IMFSinkWriter** sinkWriter);

// The DLL's options, from its program's environment: QM_STANDIN_RAW=1 (frames
// and PCM to <output>.standin.video and .audio), QM_STANDIN_OUTPUT_SHARE=N,
// QM_STANDIN_JOURNAL_DIR (else the journal <output>.standin.log goes beside the
// output), QM_STANDIN_FAIL=Step (failed at its first call), QM_STANDIN_MP4=0
// (no real MP4 even when asked), QM_STANDIN_HARDWARE_REFUSES=1
// (hardwareRefusesVideo).
StandInOptions StandInOptionsFromEnvironment(const std::wstring& outputPath);

// One journal line: "step result stream time duration length width height
// hardware", the result in hex, hardware 1 when a Create asked for hardware
// transforms (lines without it are read as 0).
std::string JournalLine(const StandInCall& call);
bool ParseJournalLine(const std::string& line, StandInCall& call);
