#pragma once
// A sink writer that writes no video: it records every call the engine makes
// (media types attribute by attribute, encoder properties, samples with a
// hash of their bytes, BeginWriting, Finalize) so that tests can check them.
// It can be told to fail at any step. The platform's own writer cannot encode
// under Wine, so this is how the engine's file side is exercised.
//
// Two ways in: CreateStandInSinkWriter for tests in the same process, and a
// DLL named mfreadwrite.dll that replaces the platform's beside an unmodified
// program and writes its record next to the output file.
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

struct StandInAttribute {
  GUID key{};
  MF_ATTRIBUTE_TYPE type = MF_ATTRIBUTE_UINT32;
  UINT64 number = 0;  // UINT32 and UINT64 values
  double real = 0;
  GUID guid{};
  std::wstring text;
  std::vector<uint8_t> blob;
};

enum class StandInStep {
  Create,
  AddStream,
  SetInputMediaType,
  GetServiceForStream,
  CodecSetValue,
  BeginWriting,
  WriteSample,
  Finalize,
};

const char* StandInStepName(StandInStep step);

struct StandInCall {
  StandInStep step = StandInStep::Create;
  HRESULT result = S_OK;
  DWORD threadId = 0;
  DWORD stream = 0;
  std::wstring path;                          // Create
  bool hasAttributes = false;                 // Create, AddStream, SetInputMediaType
  std::vector<StandInAttribute> attributes;   // writer attributes or the media type
  GUID property{};                            // CodecSetValue
  VARTYPE valueType = VT_EMPTY;               // CodecSetValue
  ULONG value = 0;                            // CodecSetValue (VT_BOOL as 0 / 0xFFFF)
  LONGLONG time = 0, duration = 0;            // WriteSample
  DWORD length = 0;                           // WriteSample
  uint64_t hash = 0;                          // WriteSample, when hashing is on
};

struct StandInOptions {
  // Fail the nth (1-based) call of a step with the given status; 0 = never.
  StandInStep failStep = StandInStep::Create;
  int failOnCall = 0;
  HRESULT failWith = E_FAIL;
  // Offer an ICodecAPI from GetServiceForStream.
  bool offerCodecApi = true;
  // Samples the encoder pretends not to have taken yet (GetStatistics).
  uint64_t encoderBacklog = 0;
  // The file pretends to hold every sample back (as it does waiting for an
  // audio stream that brings nothing).
  bool fileHoldsBack = false;
  bool hashSamples = true;
  // Keep every call in the record (a long run wants only onCall).
  bool keepCalls = true;
  // Keep a copy of each video sample's bytes (for comparing with the screen).
  bool keepVideoFrames = false;
  // Append each call as a line of JSON to this file (the DLL's record).
  std::wstring journalPath;
  // Keep the bytes of every audio sample, one after the other.
  bool keepAudio = false;
  // Append each video (audio) sample's bytes to this file.
  std::wstring rawVideoPath;
  std::wstring rawAudioPath;
  // Only this part of each frame (top-down frame coordinates) goes to the
  // raw video file; empty: the whole frame.
  RECT rawVideoCrop{};
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
  std::vector<uint8_t> audioBytes;                // when keepAudio
  uint64_t statisticsQueries = 0;
  bool released = false;

  std::vector<StandInCall> Calls(StandInStep step);
  std::vector<StandInCall> Samples(DWORD stream);
};

// For in-process tests: options for the writers made from now on, and the
// records of every writer made so far (oldest first).
void StandInConfigure(const StandInOptions& options);
std::vector<std::shared_ptr<StandInRecord>> StandInRecords();
void StandInReset();

// Same shape as MFCreateSinkWriterFromURL.
HRESULT STDAPICALLTYPE CreateStandInSinkWriter(LPCWSTR url, IMFByteStream* byteStream, IMFAttributes* attributes,
                                               IMFSinkWriter** sinkWriter);

// Reads options from the environment (the DLL's way in):
//   QM_STANDIN_FAIL=Step[@n][=0xHRESULT]   e.g. SetInputMediaType@2
//   QM_STANDIN_NO_CODECAPI=1, QM_STANDIN_BACKLOG=N, QM_STANDIN_RAW=1,
//   QM_STANDIN_RAW_CROP=x,y,w,h, QM_STANDIN_OUTPUT_SHARE=N,
//   QM_STANDIN_JOURNAL_DIR=folder
// The journal goes to <output>.standin.jsonl (or to that name in the
// journal folder); with QM_STANDIN_RAW=1 the raw frames go to
// <output>.standin.video and the PCM to <output>.standin.audio.
StandInOptions StandInOptionsFromEnvironment(const std::wstring& outputPath);

uint64_t StandInHash(const uint8_t* data, size_t size);
std::string GuidName(const GUID& guid);
