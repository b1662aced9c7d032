#pragma once
// A sink writer that encodes nothing (the platform's cannot under Wine): it
// records the calls the engine makes, so that tests can check them, and can
// be told to fail any step. Tests in the same process call
// CreateStandInSinkWriter; beside the unmodified program it is mfreadwrite.dll
// and writes a journal of the calls next to the output file.
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

// A variable of the environment (of the test run, or of the program the DLL
// is loaded in), or empty.
std::wstring FromEnvironment(const wchar_t* name);

struct StandInCall {
  explicit StandInCall(StandInStep s = StandInStep::Create, DWORD forStream = 0) : step(s), stream(forStream) {}
  StandInStep step;
  HRESULT result = S_OK;
  DWORD stream;
  int width = 0, height = 0;        // AddStream of a video stream
  LONGLONG time = 0, duration = 0;  // WriteSample
  DWORD length = 0;                 // WriteSample
};

struct StandInOptions {
  // Fail the nth (1-based) call of a step with the given status; 0 = never.
  StandInStep failStep = StandInStep::Create;
  int failOnCall = 0;
  HRESULT failWith = E_FAIL;
  // Samples the encoder pretends not to have taken yet (GetStatistics). The
  // file always reports every sample held back, as it does while it waits
  // for an audio stream that brings nothing.
  uint64_t encoderBacklog = 0;
  // Keep every call in the record (a long run wants only onCall).
  bool keepCalls = true;
  // Keep a copy of each video sample's bytes.
  bool keepVideoFrames = false;
  // Append each call as a line to this file (the DLL's journal).
  std::wstring journalPath;
  // Append each video (audio) sample's bytes to this file.
  std::wstring rawVideoPath;
  std::wstring rawAudioPath;
  // Each accepted sample grows the output file by its length / outputShare
  // bytes, as the encoder's output would (0: the file stays empty). A write
  // that fails (a full disk) fails the sample and Finalize with its status.
  unsigned outputShare = 0;
  // Called during each recorded call, on the caller's thread.
  std::function<void(const StandInCall&)> onCall;
};

// Everything one writer saw. Outlives the writer, so a test can read it
// after the engine has released it.
struct StandInRecord {
  std::mutex lock;
  std::vector<StandInCall> calls;
  std::vector<std::vector<uint8_t>> videoFrames;  // when keepVideoFrames
  bool released = false;

  std::vector<StandInCall> Calls(StandInStep step);
  std::vector<StandInCall> Samples(DWORD stream);  // accepted ones
};

// For in-process tests: options for the writers made from now on, and the
// records of every writer made so far (oldest first).
void StandInConfigure(const StandInOptions& options);
std::vector<std::shared_ptr<StandInRecord>> StandInRecords();
void StandInReset();

// Same shape as MFCreateSinkWriterFromURL.
HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream* byteStream, IMFAttributes* attributes,
                                               IMFSinkWriter** sinkWriter);

// Options for the DLL, from the environment of the program it is loaded in:
//   QM_STANDIN_RAW=1, QM_STANDIN_OUTPUT_SHARE=N,
//   QM_STANDIN_JOURNAL_DIR=folder, QM_STANDIN_FAIL=Step (a step as the journal
//   names it, failed at its first call)
// The journal goes to <output>.standin.log (or to that name in the journal
// folder); with QM_STANDIN_RAW=1 the raw frames go to <output>.standin.video
// and the PCM to <output>.standin.audio.
StandInOptions StandInOptionsFromEnvironment(const std::wstring& outputPath);

// One journal line: "step result stream time duration length width height",
// the result as eight hex digits, the rest as decimal numbers. Finalize's
// length is the most video samples the file held in memory at once, waiting
// for the audio stream to reach their time, as an MP4 sink that interleaves
// its streams does.
std::string JournalLine(const StandInCall& call);
bool ParseJournalLine(const std::string& line, StandInCall& call);
