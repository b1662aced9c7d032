#include "tests/e2e/EndToEnd.h"

#include <cstring>
#include <cwctype>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/support/Screenshot.h"

Recording ReadRecording(const std::wstring& path) {
  Recording rec;
  const std::wstring suffix = L".standin.log";
  const bool journal = path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
  rec.journal = ReadJournal(journal ? path : path + suffix);
  for (const StandInCall& call : rec.journal) {
    if (call.step == StandInStep::AddStream && call.width > 0) {
      rec.width = call.width;
      rec.height = call.height;
    }
    if (call.step == StandInStep::WriteSample && SUCCEEDED(call.result)) (call.stream == 0 ? rec.video : rec.audio).push_back(call);
  }
  rec.finalized = !rec.journal.empty() && rec.journal.back().step == StandInStep::Finalize && SUCCEEDED(rec.journal.back().result);
  return rec;
}

std::string Describe(const Recording& rec) {
  std::string out = std::to_string(rec.journal.size()) + " calls, " + std::to_string(rec.video.size()) + " frames, " +
                    std::to_string(rec.audio.size()) + " sound packets";
  if (!rec.journal.empty()) out += "; last " + JournalLine(rec.journal.back());
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

bool IsRecordingStatus(const std::wstring& text) {
  const std::wstring prefix = kStatusRecordingPrefix;
  if (text.size() != prefix.size() + 8 || text.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < text.size(); ++i) {
    const bool colon = (i - prefix.size()) % 3 == 2;
    if (colon ? text[i] != L':' : !iswdigit(text[i])) return false;
  }
  return true;
}

bool StartRecording(HWND main) {
  ClickOn(GetDlgItem(main, IDC_RECORD));
  return WaitForText(StatusLine(main), IsRecordingStatus);
}

bool StopRecording(HWND main) {
  ClickOn(GetDlgItem(main, IDC_RECORD));
  // Stopping finishes the file, which may take a moment.
  return WaitForTextEqual(StatusLine(main), kStatusReady, 15000);
}

void SetFolder(HWND main, const std::wstring& folder) {
  // As pasting it would.
  SendMessageW(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
}

Recording RecordInto(HWND main, const std::wstring& folder, DWORD ms) {
  SetFolder(main, folder);
  EXPECT_TRUE(StartRecording(main)) << Narrow(TextOf(StatusLine(main)));
  Sleep(ms);
  EXPECT_TRUE(StopRecording(main)) << Narrow(TextOf(StatusLine(main)));
  return ReadRecording(NewestFile(folder, L"Quillomat_*.mp4"));
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
  HWND main = program.started() ? program.FindWindowOfClass(L"QUILLOMAT") : nullptr;
  // The window and its controls are up; the first paint has happened.
  if (main) PumpMessages(300);
  return main;
}

