#pragma once
// Drives the unmodified program from outside, as a user does: it is started
// as a process, its controls are clicked with real pointer input, and what
// it wrote is read back from the writer stand-in's record beside the file.
#include <windows.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SinkWriterStandIn.h"

// The program beside this test program, started as a user starts it; ended
// by force when a test leaves it running.
class Program {
 public:
  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return started_; }
  DWORD id() const { return process_.dwProcessId; }
  HANDLE handle() const { return process_.hProcess; }

  // The first visible top-level window of this process with the given class
  // (and title, when given), or null when none appeared in time.
  HWND FindWindowOfClass(const wchar_t* className, DWORD timeoutMs = 10000, const wchar_t* title = nullptr) const;
  // Exit code, or STILL_ACTIVE when it did not end in time.
  DWORD WaitForExit(DWORD timeoutMs = 15000) const;
  void Kill();

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

std::wstring ProgramPath();
std::wstring TextOf(HWND window);
// A visible top-level window of the process with the given class (and
// title, when given), or null.
HWND FindVisibleWindow(DWORD pid, const wchar_t* className, const wchar_t* title = nullptr);

// Real pointer input on the virtual screen.
void MovePointer(int x, int y);
void ClickAt(int x, int y);
void ClickOn(HWND control);  // its centre
// Waits until the window's text satisfies `check`; the last text seen.
bool WaitForText(HWND window, bool (*check)(const std::wstring&), DWORD timeoutMs = 5000);
bool WaitForTextEqual(HWND window, const std::wstring& text, DWORD timeoutMs = 5000);

// The calls in a stand-in journal (the DLL's record beside a file).
std::vector<StandInCall> ReadJournal(const std::wstring& path);

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
  LiveScene(const LiveScene&) = delete;
  LiveScene& operator=(const LiveScene&) = delete;

  RECT rect() const { return {x_, y_, x_ + kWidth, y_ + kHeight}; }
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
