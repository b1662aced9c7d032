#pragma once
// Things the Windows tests put on the virtual screen or on disk.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recorder/ScreenRecorder.h"
#include "tests/support/SinkWriterStandIn.h"

// A fresh folder under the temporary folder, removed with its files.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);

// Handles messages for about the given time.
void PumpMessages(DWORD milliseconds);

// A borderless top-most window at a fixed place showing a pattern in which
// every pixel's colour is known (PatternColor of its window coordinates).
class PatternWindow {
 public:
  PatternWindow(int x, int y, int width, int height);
  ~PatternWindow();
  PatternWindow(const PatternWindow&) = delete;
  PatternWindow& operator=(const PatternWindow&) = delete;

  HWND hwnd() const { return window_; }
  // Colour of window pixel (x, y) as 0x00RRGGBB.
  static uint32_t PatternColor(int x, int y);
  // The cursor the window asks for while the pointer is over it.
  void ShowCursorImage(HCURSOR cursor);

 private:
  HWND window_ = nullptr;
};

// A 32 x 32 cursor with its hot spot at (8, 8): one black pixel on the hot
// spot, one white pixel at (2, 2), the rest transparent.
HCURSOR MakeProbeCursor();
constexpr int kProbeHotX = 8, kProbeHotY = 8, kProbeWhiteX = 2, kProbeWhiteY = 2;

// Pixel (x, y) of a frame as the engine hands it over (bottom row first,
// BGRX), with (0, 0) the top-left of the recorded rectangle; 0x00RRGGBB.
uint32_t FramePixel(const std::vector<uint8_t>& frame, int width, int height, int x, int y);

// An engine writing into the in-process stand-in, as most engine tests want.
struct StandInEngine {
  explicit StandInEngine(const StandInOptions& options = {});
  ~StandInEngine();
  std::shared_ptr<StandInRecord> LastRecord() const;

  std::unique_ptr<ScreenRecorder> recorder;
  bool audioFlag = false;
};

// Runs a command line of the toolchain root's shell and waits for it: its
// exit status, or STILL_ACTIVE when it did not end in time.
DWORD RunShell(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// Runs xdotool on the virtual screen (real pointer and keyboard input) and
// waits for it.
void Xdotool(const std::wstring& arguments);

// Calls `check` every 20 ms on another thread until it returns true or the
// time runs out; true when it did.
bool WaitFor(const std::function<bool()>& check, DWORD timeoutMs = 5000);

// Gives the engine a writer (in the stand-in) with a 64 x 64 video stream and
// the audio stream of a float stereo 48 kHz device, writing begun, as a
// recording with sound has. S_OK or the failing step's status.
HRESULT OpenWriterWithSound(ScreenRecorder& recorder, const std::wstring& path);
