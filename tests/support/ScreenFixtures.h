#pragma once
// What the Windows tests share: folders and files, waiting, the virtual
// screen, the engine beside the writer stand-in, and the version service.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recorder/Mp4Writer.h"
#include "recorder/ScreenRecorder.h"
#include "tests/support/SinkWriterStandIn.h"
#include "update/UpdateCheck.h"

// The temporary folder (with its separator at the end), and a fresh folder
// in it, removed with all it holds.
std::wstring TempPath();
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
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// ASCII for failure messages; anything else as '?'.
std::string Narrow(const std::wstring& text);

// Files in `folder` whose names match `pattern`: how many, the newest (a
// full path, empty when none), or all of them deleted.
int CountMatching(const std::wstring& folder, const wchar_t* pattern);
std::wstring NewestFile(const std::wstring& folder, const wchar_t* pattern);
void DeleteMatching(const std::wstring& folder, const wchar_t* pattern);

// Sets environment variables while it lives (programs started meanwhile
// inherit them), and puts the old values back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::initializer_list<std::pair<const wchar_t*, std::wstring>> values);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

void PumpMessages(DWORD milliseconds);

// The desktop's top-level windows, listed at once: never walked with FindWindowEx,
// which wedges Wine's server when it starts after a window being destroyed.
std::vector<HWND> TopLevelWindows();

// A borderless top-most window of one colour (0x00RRGGBB) at a fixed place.
class SolidWindow {
 public:
  static constexpr uint32_t kColour = 0x2080c0;
  SolidWindow(int x, int y, int width, int height);
  ~SolidWindow();
  SolidWindow(const SolidWindow&) = delete;
  SolidWindow& operator=(const SolidWindow&) = delete;
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
};

// The file's writer alone, into the in-process stand-in, on a recording
// clock of its own that runs from its making.
struct StandInWriter {
  explicit StandInWriter(const StandInOptions& options = {});
  ~StandInWriter();
  // A video stream of `width` x `height`, and a sound track when given.
  HRESULT Open(const std::wstring& path, int32_t width, int32_t height, const AudioTrackFormat* sound = nullptr);
  std::shared_ptr<StandInRecord> LastRecord() const;

  RecordingClock clock;
  Mp4Writer writer;
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

// The local version service of the test run (QM_VERSION_SERVICE_DIR): what
// it answers to the version request (no answer: 503), a file it serves, what
// it has been asked so far, and the acknowledged version cleared.
std::wstring VersionServiceDir();
inline std::wstring ServiceUrl(const std::wstring& path) { return kServiceBaseUrl + path; }
void SetVersionAnswer(const std::string& json);
void ClearVersionAnswer();
void ServeFile(const wchar_t* name, const std::string& bytes);
std::string VersionServiceRequests();
void ClearAcknowledgedVersion();
// Where the stand-in installer leaves its mark when it runs.
std::wstring InstallerRanMark();
