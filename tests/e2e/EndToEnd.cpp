#include "tests/e2e/EndToEnd.h"

#include <cstdlib>
#include <cstring>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/support/Screenshot.h"

Recording ReadRecording(const std::wstring& mp4Path) {
  Recording rec;
  const std::wstring journalPath = mp4Path + L".standin.jsonl";
  rec.journal = ReadJournal(journalPath);
  rec.video = SamplesOf(rec.journal, 0);
  rec.audio = SamplesOf(rec.journal, 1);
  rec.finalized = !rec.journal.empty() && rec.journal.back().step == "Finalize" &&
                  rec.journal.back().result == "0x00000000";
  const std::string text = ReadFileBytes(journalPath);
  const size_t size = text.find("\"MF_MT_FRAME_SIZE\"");
  if (size != std::string::npos) {
    const size_t high = text.find("\"high\":", size), low = text.find("\"low\":", size);
    if (high != std::string::npos && low != std::string::npos) {
      rec.width = std::atoi(text.c_str() + high + 7);
      rec.height = std::atoi(text.c_str() + low + 6);
    }
  }
  return rec;
}

std::string Describe(const Recording& rec) {
  std::string out = std::to_string(rec.journal.size()) + " calls, " + std::to_string(rec.video.size()) + " frames, " +
                    std::to_string(rec.audio.size()) + " sound packets";
  if (!rec.journal.empty()) out += "; last " + rec.journal.back().step + " " + rec.journal.back().result;
  return out;
}

std::vector<std::vector<uint8_t>> ReadRawFrames(const std::wstring& path, int width, int height) {
  const std::string bytes = ReadFileBytes(path);
  const size_t frameBytes = static_cast<size_t>(width) * height * 4;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
  }
  return frames;
}

double ToneFrequency(const std::string& pcm, int sampleRate, int channels) {
  const size_t frames = pcm.size() / (2u * channels);
  if (frames < 2) return 0;
  int crossings = 0;
  int16_t previous = 0;
  for (size_t i = 0; i < frames; ++i) {
    int16_t sample;
    std::memcpy(&sample, pcm.data() + i * 2 * channels, 2);
    if (i > 0 && previous < 0 && sample >= 0) ++crossings;
    previous = sample;
  }
  return crossings * static_cast<double>(sampleRate) / static_cast<double>(frames);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

HWND StatusLine(HWND main) { return GetDlgItem(main, IDC_STATUS); }

bool IsRecordingStatus(const std::wstring& text) { return text.rfind(kStatusRecordingPrefix, 0) == 0; }

bool StartRecording(HWND main) {
  ClickOn(GetDlgItem(main, IDC_RECORD));
  return WaitForText(StatusLine(main), IsRecordingStatus);
}

bool StopRecording(HWND main) {
  ClickOn(GetDlgItem(main, IDC_RECORD));
  // Stopping finishes the file, which may take a moment.
  return WaitForTextEqual(StatusLine(main), kStatusReady, 15000);
}

void RecordFor(HWND main, DWORD ms) {
  ASSERT_TRUE(StartRecording(main)) << Narrow(TextOf(StatusLine(main)));
  Sleep(ms);
  ASSERT_TRUE(StopRecording(main)) << Narrow(TextOf(StatusLine(main)));
}

bool CloseNormally(HWND main, const Program& program) {
  PostMessageW(main, WM_CLOSE, 0, 0);
  return program.WaitForExit() == 0;
}

void EndToEndTest::TearDown() {
  // What the screen showed when a test failed, for the person reading why.
  if (HasFailure()) {
    const std::string name = std::string("failed-") + testing::UnitTest::GetInstance()->current_test_info()->name();
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SaveScreenshot(screen, std::wstring(name.begin(), name.end()).c_str());
  }
  for (const auto& [folder, pattern] : cleanUp_) DeleteMatching(folder, pattern.c_str());
}

HWND EndToEndTest::StartAndFindMain(const Program& program) {
  if (!program.started()) return nullptr;
  HWND main = program.FindWindowOfClass(L"QUILLOMAT");
  if (!main) return nullptr;
  // The window and its controls are up; the first paint has happened.
  PumpMessages(300);
  return main;
}

void EndToEndTest::SetFolder(HWND main, const std::wstring& folder) {
  SendMessageW(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  ASSERT_EQ(TextOf(GetDlgItem(main, IDC_FOLDER)), folder);
}

void EndToEndTest::CleanUpAfter(const std::wstring& folder, const wchar_t* pattern) {
  cleanUp_.emplace_back(folder, pattern);
}

std::wstring EndToEndTest::PathFromEnvironment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}
