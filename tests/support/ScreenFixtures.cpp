#include "tests/support/ScreenFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "recorder/Recording.h"
#include "ui/Window.h"

namespace {

// The cursor a solid window shows, kept in its user data.
LRESULT CALLBACK SolidProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto cursor = reinterpret_cast<HCURSOR>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_SETCURSOR && cursor) {
    SetCursor(cursor);
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Calls `each` with the full path of every file or folder in `folder` matching `pattern`.
template <typename Each>
void ForMatching(const std::wstring& folder, const wchar_t* pattern, Each each) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") each(folder + L"\\" + name, found);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void DeleteTree(const std::wstring& folder) {
  ForMatching(folder, L"*", [](const std::wstring& path, const WIN32_FIND_DATAW& found) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) DeleteTree(path);
    else DeleteFileW(path.c_str());
  });
  RemoveDirectoryW(folder.c_str());
}

std::shared_ptr<StandInRecord> LastStandInRecord() {
  auto records = StandInRecords();
  return records.empty() ? nullptr : records.back();
}

}  // namespace

std::wstring TempPath() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return temp;
}

TempDir::TempDir() {
  wchar_t name[64];
  std::swprintf(name, 64, L"qmtest_%lu_%lu", GetCurrentProcessId(), GetTickCount());
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = TempPath() + name + L"_" + std::to_wstring(attempt);
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
  }
  ADD_FAILURE() << "cannot create a temporary folder";
}

TempDir::~TempDir() { DeleteTree(path_); }

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
  unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string out;
  char chunk[65536];
  DWORD got = 0;
  while (file && ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) out.append(chunk, got);
  return out;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

int CountMatching(const std::wstring& folder, const wchar_t* pattern) {
  int count = 0;
  ForMatching(folder, pattern, [&](const std::wstring&, const WIN32_FIND_DATAW&) { ++count; });
  return count;
}

std::wstring NewestFile(const std::wstring& folder, const wchar_t* pattern) {
  std::wstring newest;
  FILETIME newestTime{};
  ForMatching(folder, pattern, [&](const std::wstring& path, const WIN32_FIND_DATAW& found) {
    const LONG order = CompareFileTime(&found.ftLastWriteTime, &newestTime);
    if (newest.empty() || order > 0 || (order == 0 && path > newest)) {
      newest = path;
      newestTime = found.ftLastWriteTime;
    }
  });
  return newest;
}

void DeleteMatching(const std::wstring& folder, const wchar_t* pattern) {
  ForMatching(folder, pattern, [](const std::wstring& path, const WIN32_FIND_DATAW&) { DeleteFileW(path.c_str()); });
}

ScopedEnvironment::ScopedEnvironment(std::initializer_list<std::pair<const wchar_t*, std::wstring>> values) {
  for (const auto& [name, value] : values) {
    saved_.emplace_back(name, FromEnvironment(name));
    SetEnvironmentVariableW(name, value.c_str());
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

SolidWindow::SolidWindow(int x, int y, int width, int height) {
  WindowClass solid;
  solid.name = L"QuillomatTestSolid";
  solid.procedure = SolidProc;
  solid.background = [] { return CreateSolidBrush(RGB(kColour >> 16, (kColour >> 8) & 0xff, kColour & 0xff)); };
  RegisterWindowClass(solid);
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, solid.name, L"solid", WS_POPUP | WS_VISIBLE,
                            x, y, width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window_, nullptr);
  SetForegroundWindow(window_);
  PumpMessages(300);
}

SolidWindow::~SolidWindow() {
  DestroyWindow(window_);
  PumpMessages(50);
}

void SolidWindow::ShowCursorImage(HCURSOR cursor) {
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cursor));
  SetForegroundWindow(window_);
  SetCursor(cursor);
  PumpMessages(100);
}

HCURSOR MakeProbeCursor() {
  // Monochrome masks, one bit per pixel, rows of 4 bytes. AND 1 keeps the
  // screen; AND 0 with XOR 0 paints black, AND 0 with XOR 1 paints white.
  std::vector<BYTE> andMask(32 * 4, 0xff), xorMask(32 * 4, 0);
  auto clear = [&](int x, int y) { andMask[y * 4 + x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8))); };
  clear(kProbeHotX, kProbeHotY);
  clear(kProbeWhiteX, kProbeWhiteY);
  xorMask[kProbeWhiteY * 4 + kProbeWhiteX / 8] |= static_cast<BYTE>(0x80 >> (kProbeWhiteX % 8));
  return CreateCursor(GetModuleHandleW(nullptr), kProbeHotX, kProbeHotY, 32, 32, andMask.data(), xorMask.data());
}

uint32_t FramePixel(const std::vector<uint8_t>& frame, int width, int height, int x, int y) {
  const size_t row = static_cast<size_t>(height - 1 - y);
  const uint8_t* p = frame.data() + (row * width + x) * 4;
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

StandInEngine::StandInEngine(const StandInOptions& options) {
  StandInReset(options);
  recorder = std::make_unique<ScreenRecorder>(&CreateStandInSinkWriter);
}

StandInEngine::~StandInEngine() {
  recorder.reset();
  StandInReset();
}

std::shared_ptr<StandInRecord> StandInEngine::LastRecord() const { return LastStandInRecord(); }

StandInWriter::StandInWriter(const StandInOptions& options)
    : clock(&PerformanceCounter, PerformanceFrequency()), writer(&CreateStandInSinkWriter, clock) {
  StandInReset(options);
  MediaFoundation()->Startup(MF_VERSION, MFSTARTUP_FULL);
  clock.Start();
}

StandInWriter::~StandInWriter() {
  writer.Finish();
  MediaFoundation()->Shutdown();
  StandInReset();
}

HRESULT StandInWriter::Open(const std::wstring& path, int32_t width, int32_t height, const AudioTrackFormat* sound) {
  RecorderProblem problem = RecorderProblem::None;
  return writer.Open(path, {width, height}, kDefaultFramesPerSecond, sound, problem);
}

std::shared_ptr<StandInRecord> StandInWriter::LastRecord() const { return LastStandInRecord(); }

DWORD RunShell(const std::wstring& commandLine, DWORD timeoutMs) {
  // A Unix program started from here is not waited for by its handle, so
  // the shell leaves its exit status in a file when it is done.
  static int runs = 0;
  const std::wstring mark = L"/tmp/qm-shell-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++runs);
  const std::wstring markDos = L"Z:" + mark;
  DeleteFileW(markDos.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring line = L"Z:\\bin\\sh -c \"" + commandLine + L"; echo $? >" + mark + L".tmp; mv " + mark + L".tmp " + mark +
                      L"\"";
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return GetLastError() | 0x80000000u;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!WaitFor([&] { return FileExists(markDos); }, timeoutMs)) return STILL_ACTIVE;
  const DWORD code = static_cast<DWORD>(std::atoi(ReadFileBytes(markDos).c_str()));
  DeleteFileW(markDos.c_str());
  return code;
}

void Xdotool(const std::wstring& arguments) {
  const DWORD status = RunShell(L"xdotool " + arguments, 10000);
  if (status != 0) ADD_FAILURE() << "xdotool ended with " << status;
}

bool WaitFor(const std::function<bool()>& check, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    if (check()) return true;
    Sleep(20);
  }
  return false;
}

std::wstring VersionServiceDir() { return FromEnvironment(L"QM_VERSION_SERVICE_DIR"); }

void SetVersionAnswer(const std::string& json) {
  EXPECT_TRUE(WriteFileBytes(VersionServiceDir() + L"\\answer.json", json)) << "no version service here";
}

void ClearVersionAnswer() { DeleteFileW((VersionServiceDir() + L"\\answer.json").c_str()); }

void ServeFile(const wchar_t* name, const std::string& bytes) {
  const std::wstring files = VersionServiceDir() + L"\\files";
  CreateDirectoryW(files.c_str(), nullptr);
  EXPECT_TRUE(WriteFileBytes(files + L"\\" + name, bytes));
}

std::string VersionServiceRequests() { return ReadFileBytes(VersionServiceDir() + L"\\requests.log"); }

void ClearAcknowledgedVersion() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kUpdateRegistryKey, kAcknowledgedValue); }

std::wstring InstallerRanMark() { return TempPath() + L"quillomat-installer-ran.txt"; }
