#pragma once
// The unmodified program driven from outside, as a user drives it: started as
// a process, its controls clicked with real pointer input, and what it handed
// to the writer read back from the stand-in's journal beside the file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScreenFixtures.h"

std::wstring ProgramPath();

// The program beside this test program (or the one at `path`), started as a
// user starts it (in `folder`, when given); ended by force when a test leaves
// it running.
class Program {
 public:
  explicit Program(const std::wstring& path = ProgramPath(), const std::wstring& folder = L"");
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD id() const { return process_.dwProcessId; }  // 0: not started

  // The first visible top-level window of this process with the given class
  // (and title, when given), or null when none appeared in time (0: is there
  // one now).
  HWND FindWindowOfClass(const wchar_t* className, DWORD timeoutMs = 10000, const wchar_t* title = nullptr) const;
  // Exit code, or STILL_ACTIVE when it did not end in time.
  DWORD WaitForExit(DWORD timeoutMs = 15000) const;
  void Kill();

 private:
  PROCESS_INFORMATION process_{};
};

std::wstring TextOf(HWND window);
RECT WindowRect(HWND window);  // on the screen
// WM_CLOSE posted to the window; true once it has gone.
bool CloseAndWait(HWND window);
// The first visible top-level window of any program with this class whose
// text starts with `text`, or null when none came in time.
HWND WindowOfAnyProgram(const wchar_t* windowClass, const std::wstring& text, DWORD timeoutMs = 10000);

// Real pointer input on the virtual screen.
void MovePointer(int x, int y);
void ClickAt(int x, int y);
void ClickOn(HWND control);  // its centre
// The left button pressed at `from`, moved to `to` and released (`held`
// called before it is).
void Drag(POINT from, POINT to, const std::function<void()>& held = nullptr);
// Waits until the window's text satisfies `check`, or is `text`; false when it did not in time.
bool WaitForText(HWND window, bool (*check)(const std::wstring&), DWORD timeoutMs = 5000);
bool WaitForTextEqual(HWND window, const std::wstring& text, DWORD timeoutMs = 5000);
// Waits until keys typed now go to `window`: it is the active window of its
// program, which is not moving or sizing it, and the X server sends it the
// keyboard. A click only starts all that; keys typed at once may go astray.
bool WaitForKeyboard(HWND window);

// A lively scene on its own thread: a borderless top-most window showing a
// clock (the milliseconds since the scene began, as 32 black or white cells
// in its top strip) above a pattern that moves with that clock. Each frame
// of a recording can so be read back: when it was painted, and what every
// pixel under the strip must be.
class LiveScene {
 public:
  static constexpr int kWidth = 320, kHeight = 200;
  static constexpr int kStripHeight = 16, kCellWidth = 10;

  LiveScene(int x, int y);
  ~LiveScene();

  // Colour (0x00RRGGBB) of scene pixel (x, y) below the strip at clock `ms`.
  static uint32_t PatternAt(int x, int y, uint32_t ms);
  // The clock in a picture of the scene; `pixel(x, y)` gives scene pixels.
  template <typename Pixel>
  static uint32_t ReadClock(Pixel pixel) {
    uint32_t ms = 0;
    for (int i = 0; i < 32; ++i) {
      const uint32_t c = pixel(i * kCellWidth + kCellWidth / 2, kStripHeight / 2);
      ms = ms << 1 | (((c >> 8) & 0xff) > 0x80 ? 1u : 0u);
    }
    return ms;
  }

 private:
  void Run();
  int x_, y_;
  HANDLE ready_ = nullptr;
  DWORD threadId_ = 0;
  std::thread thread_;
};

// One recording as the writer saw it.
struct WrittenRecording {
  std::vector<StandInCall> journal;
  std::vector<StandInCall> video, audio;  // accepted samples
  int width = 0, height = 0;              // of the video stream
  bool finalized = false;                 // Finalize was last and succeeded
};
// From the journal beside the file (<path>.standin.log).
WrittenRecording ReadRecording(const std::wstring& path);
// Counts and the last call, for failure messages.
std::string Describe(const WrittenRecording& rec);

// The screen's pixels in `area` (0x00RRGGBB), top row first.
std::vector<uint32_t> ScreenPixels(const RECT& area);

// Each frame of the MP4 at `path` as FFmpeg decodes it, or of a raw dump of
// the frames the writer was given (QM_STANDIN_RAW=1), one at a time, bottom
// row first as the screen was read.
// Returns how many there were.
size_t ForEachRawFrame(const std::wstring& path, int width, int height,
                     const std::function<void(const std::vector<uint8_t>&)>& look);

// FFmpeg, the oracle for the files written, runs on the host, outside Wine:
// `command` (a shell command) is run there, and its standard output given.
// HostPath is where a file of ours is for it, quoted for the shell.
std::string OnHost(const std::string& command);
std::string HostPath(const std::wstring& path);
// What FFmpeg finds at the top of the file: "moov" once for a normal MP4,
// "moof" too for a fragmented one.
std::string TopBoxes(const std::wstring& file);

// Saves the on-screen part of `area` as QM_SCREENSHOT_DIR\<name>.png, for
// people to look at. True when saved, or when no folder is named.
bool SaveScreenshot(const RECT& area, const wchar_t* name);

// The main window's status line, and whether it shows a running recording
// ("Recording: " and the duration as hh:mm:ss, and then `then`).
HWND StatusLine(HWND main);
bool IsRecordingStatus(const std::wstring& text);
bool IsRecordingStatus(const std::wstring& text, const std::wstring& then);
// The record button clicked, and the status line following: true when it did.
bool StartRecording(HWND main);
bool StopRecording(HWND main);
void SetFolder(HWND main, const std::wstring& folder);
// Puts `folder` into the folder field, records for about `ms`, and reads
// back the newest recording there.
WrittenRecording RecordInto(HWND main, const std::wstring& folder, DWORD ms);
// Closes the main window; true when the program then ended with code 0.
bool CloseNormally(HWND main, const Program& program);

// `message` sent to another program's window with `bytes` copied into that
// program's memory for it, the copy's address as its lParam (as Windows
// hands such messages over); false when the copy could not be made.
bool SendWithData(const Program& program, HWND window, UINT message, WPARAM wParam, const void* bytes, size_t size);

// A window the main window opens for a menu command, once it shows.
HWND OpenWindow(const Program& program, HWND main, int command, const wchar_t* windowClass);

class EndToEndTest : public ::testing::Test {
 protected:
  // Each test meets the program as a new user does: nothing chosen yet.
  void SetUp() override;
  void TearDown() override;

  // Starts the program (that at `path`, in `folder`) as program_, ending the
  // one before, and finds its main window, main_.
  void Start(const std::wstring& path = ProgramPath(), const std::wstring& folder = L"");
  std::unique_ptr<Program> program_;
  HWND main_ = nullptr;
  // Files matching `pattern` in `folder` are deleted when the test ends.
  void CleanUpAfter(const std::wstring& folder, const wchar_t* pattern) { cleanUp_.emplace_back(folder, pattern); }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> cleanUp_;
};
