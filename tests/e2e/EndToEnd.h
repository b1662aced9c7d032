#pragma once
// What the end-to-end tests share: the program started beside the writer
// stand-in, and the record of a recording read back from beside its file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ProgramDriver.h"
#include "tests/support/ScreenFixtures.h"

// One recording as the writer saw it.
struct Recording {
  std::vector<StandInCall> journal;
  std::vector<StandInCall> video, audio;  // accepted samples
  int width = 0, height = 0;              // of the video stream
  bool finalized = false;                 // Finalize was last and succeeded
};
// From the journal beside the file, or the journal itself.
Recording ReadRecording(const std::wstring& mp4OrJournalPath);
// Counts and the last call, for failure messages.
std::string Describe(const Recording& rec);

// The raw frames (or their crops) of a recording, each width x height BGRX
// with the bottom row first.
std::vector<std::vector<uint8_t>> ReadRawFrames(const std::wstring& path, int width, int height);

// The frequency of a tone in 16-bit PCM, from its rising zero crossings on
// the first channel.
double ToneFrequency(const std::string& pcm, int sampleRate, int channels);

std::string Narrow(const std::wstring& text);

// The main window's status line, and whether it shows a running recording
// ("Recording: " and the duration as hh:mm:ss).
HWND StatusLine(HWND main);
bool IsRecordingStatus(const std::wstring& text);
// The record button clicked, and the status line following: true when it did.
bool StartRecording(HWND main);
bool StopRecording(HWND main);
// Types a folder into the folder field.
void SetFolder(HWND main, const std::wstring& folder);
// Puts `folder` into the folder field, records for about `ms`, and reads
// back the newest recording there.
Recording RecordInto(HWND main, const std::wstring& folder, DWORD ms);
// Closes the main window; true when the program then ended with code 0.
bool CloseNormally(HWND main, const Program& program);

class EndToEndTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Waits for the program's main window with its status line in place, or null.
  static HWND StartAndFindMain(const Program& program);
  // Files matching `pattern` in `folder` are deleted when the test ends.
  void CleanUpAfter(const std::wstring& folder, const wchar_t* pattern) { cleanUp_.emplace_back(folder, pattern); }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> cleanUp_;
};
