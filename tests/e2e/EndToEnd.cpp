#include "tests/e2e/EndToEnd.h"

#include <algorithm>
#include <cwctype>

#include "app/StatusText.h"
#include "recorder/Recording.h"
#include "res/resource.h"
#include "settings/SettingsStore.h"
#include "ui/ButtonImage.h"
#include "ui/GdiplusApi.h"
#include "ui/Window.h"

// Like the program, the tests see every window and the screen in real pixels
// at every display scale.
static const bool kSeesRealPixels = SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != FALSE;

std::vector<uint32_t> ScreenPixels(const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  unique_screen_dc screen(GetDC(nullptr));
  unique_hdc dc(CreateCompatibleDC(screen.get()));
  unique_hbitmap shot(CreateCompatibleBitmap(screen.get(), width, height));
  SelectObjectScope select(dc.get(), shot.get());
  BitBlt(dc.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top row first
  GetDIBits(dc.get(), shot.get(), 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  for (uint32_t& pixel : pixels) pixel &= 0xffffff;
  return pixels;
}

bool SaveScreenshot(const RECT& area, const wchar_t* name) {
  using namespace Gdiplus;
  using namespace Gdiplus::DllExports;
  const std::wstring folder = FromEnvironment(L"QM_SCREENSHOT_DIR");
  if (folder.empty()) return true;
  // Only what is on the screen: Wine copies nothing of a partly outside source.
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, visible;
  if (!IntersectRect(&visible, &area, &screen)) return false;
  std::vector<uint32_t> pixels = ScreenPixels(visible);
  const int width = visible.right - visible.left;
  CreateDirectoryW(folder.c_str(), nullptr);
  GdiplusSession gdiplus;
  GpBitmap* image = nullptr;
  const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  const bool saved = GdipCreateBitmapFromScan0(width, visible.bottom - visible.top, width * 4, PixelFormat32bppRGB,
                                               reinterpret_cast<BYTE*>(pixels.data()), &image) == Ok &&
                     GdipSaveImageToFile(image, (folder + L"\\" + name + L".png").c_str(), &png, nullptr) == Ok;
  if (image) GdipDisposeImage(image);
  return saved;
}

size_t ForEachRawFrame(const std::wstring& path, int width, int height,
                     const std::function<void(const std::vector<uint8_t>&)>& look) {
  TempDir dir;
  std::wstring raw = path;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, L".mp4") == 0) {
    raw = dir.File(L"frames");
    OnHost("ffmpeg -v error -i " + HostPath(path) + " -map 0:v -fps_mode passthrough -vf vflip -f rawvideo " +
           "-pix_fmt bgra " + HostPath(raw));
  }
  unique_file file(CreateFileW(raw.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
  DWORD got = 0;
  size_t count = 0;
  for (; ReadFile(file.get(), frame.data(), static_cast<DWORD>(frame.size()), &got, nullptr) && got == frame.size(); ++count) {
    look(frame);
  }
  return count;
}

WrittenRecording ReadRecording(const std::wstring& path) {
  WrittenRecording rec;
  const std::string text = ReadFileBytes(path + L".standin.log");
  for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
    end = std::min(text.find('\n', begin), text.size());
    StandInCall call;
    if (!ParseJournalLine(text.substr(begin, end - begin), call)) continue;
    rec.journal.push_back(call);
    if (call.step == StandInStep::AddStream && call.width > 0) {
      rec.width = call.width;
      rec.height = call.height;
    }
    if (call.step == StandInStep::WriteSample && SUCCEEDED(call.result)) (call.stream == 0 ? rec.video : rec.audio).push_back(call);
  }
  rec.finalized = !rec.journal.empty() && rec.journal.back().step == StandInStep::Finalize && SUCCEEDED(rec.journal.back().result);
  return rec;
}

std::string Describe(const WrittenRecording& rec) {
  std::string out = std::to_string(rec.journal.size()) + " calls, " + std::to_string(rec.video.size()) + " frames, " +
                    std::to_string(rec.audio.size()) + " sound packets";
  if (!rec.journal.empty()) out += "; last " + JournalLine(rec.journal.back());
  return out;
}

HWND StatusLine(HWND main) { return GetDlgItem(main, IDC_STATUS); }

bool IsRecordingStatus(const std::wstring& text) { return IsRecordingStatus(text, L""); }

bool IsRecordingStatus(const std::wstring& text, const std::wstring& then) {
  const std::wstring prefix = kStatusRecordingPrefix;
  const size_t end = prefix.size() + 8;  // of the duration
  if (text.size() != end + then.size() || text.compare(0, prefix.size(), prefix) || text.compare(end, then.size(), then)) {
    return false;
  }
  for (size_t i = prefix.size(); i < end; ++i) {
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

WrittenRecording RecordInto(HWND main, const std::wstring& folder, DWORD ms) {
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

bool SendWithData(const Program& program, HWND window, UINT message, WPARAM wParam, const void* bytes, size_t size) {
  const unique_kernel_handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, program.id()));
  void* remote = VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool copied = remote && WriteProcessMemory(process.get(), remote, bytes, size, nullptr);
  if (copied) SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(remote));
  if (remote) VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  return copied;
}

HWND OpenWindow(const Program& program, HWND main, int command, const wchar_t* windowClass) {
  PostMessageW(main, WM_COMMAND, command, 0);
  return program.FindWindowOfClass(windowClass, 5000);
}

void EndToEndTest::SetUp() {
  // The key's own values are the settings; what else is kept lies below it.
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsRegistryKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  wchar_t name[256];
  DWORD length = 256;
  while (RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         RegDeleteValueW(key.get(), name) == ERROR_SUCCESS) {
    length = 256;
  }
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

void EndToEndTest::Start(const std::wstring& path, const std::wstring& folder) {
  program_.reset();
  program_ = std::make_unique<Program>(path, folder);
  main_ = program_->id() ? program_->FindWindowOfClass(L"QUILLOMAT") : nullptr;
  ASSERT_NE(main_, nullptr) << "no main window";
  PumpMessages(300);  // the window and its controls are up; the first paint has happened
}

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Quillomat.exe";
}

Program::Program(const std::wstring& path, const std::wstring& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process_)) {
    process_ = {};  // id 0: not started
  }
}

Program::~Program() {
  if (!id()) return;
  Kill();
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

namespace {
std::string UnixPath(const std::wstring& path) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  static const auto unixName =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName ? unixName(path.c_str()) : nullptr;
  const std::string unix = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return unix;
}
}  // namespace

std::string HostPath(const std::wstring& path) { return "'" + UnixPath(path) + "'"; }

std::string TopBoxes(const std::wstring& file) {
  return OnHost("ffprobe -v trace " + HostPath(file) + " 2>&1 | grep -o \"type:'mo[a-z]*' parent:'root'\" | sort -u");
}

std::string OnHost(const std::string& command) {
  TempDir dir;
  const std::wstring script = dir.File(L"run.sh"), out = dir.File(L"out"), done = dir.File(L"done");
  WriteFileBytes(script, "(" + command + ") >" + HostPath(out) + " 2>/dev/null; touch " + HostPath(done) + "\n");
  // Wine's start.exe runs a host program; /wait is not trusted to wait.
  const std::string unixScript = UnixPath(script);
  std::wstring line = L"start.exe /unix /bin/sh " + std::wstring(unixScript.begin(), unixScript.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (int i = 0; i < 1200 && !FileExists(done); ++i) Sleep(50);
  return ReadFileBytes(out);
}

void Program::Kill() {
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
}

namespace {

// The first visible top-level window of the class, of process `pid` (0: of
// any), whose text `fits`.
template <typename Fits>
HWND FirstVisibleWindow(DWORD pid, const wchar_t* className, Fits fits) {
  for (HWND window : TopLevelWindows()) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if ((pid == 0 || owner == pid) && _wcsicmp(cls, className) == 0 && IsWindowVisible(window) && fits(window)) {
      return window;
    }
  }
  return nullptr;
}

}  // namespace

HWND WindowOfAnyProgram(const wchar_t* windowClass, const std::wstring& text, DWORD timeoutMs) {
  HWND found = nullptr;
  auto starts = [&](HWND window) { return TextOf(window).rfind(text, 0) == 0; };
  WaitFor([&] { return (found = FirstVisibleWindow(0, windowClass, starts)) != nullptr; }, timeoutMs);
  return found;
}

HWND Program::FindWindowOfClass(const wchar_t* className, DWORD timeoutMs, const wchar_t* title) const {
  const DWORD start = GetTickCount();
  do {
    auto named = [&](HWND window) { return !title || TextOf(window) == title; };
    if (HWND found = FirstVisibleWindow(process_.dwProcessId, className, named)) return found;
    PumpMessages(50);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

DWORD Program::WaitForExit(DWORD timeoutMs) const {
  WaitForSingleObject(process_.hProcess, timeoutMs);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

std::wstring TextOf(HWND window) {
  // Asked of the window itself: for another process's edit field the
  // system's copy of the text stays empty.
  wchar_t text[512] = {};
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                           &ignored)) {
    GetWindowTextW(window, text, 512);
  }
  return text;
}

void MovePointer(int x, int y) { Xdotool(L"mousemove " + std::to_wstring(x) + L" " + std::to_wstring(y)); }

void ClickAt(int x, int y) {
  MovePointer(x, y);
  Sleep(50);  // the window under the pointer sees it arrive before the press
  Xdotool(L"click 1");
}

RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

bool CloseAndWait(HWND window) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  return WaitFor([&] { return !IsWindow(window); });
}

void ClickOn(HWND control) {
  const RECT r = WindowRect(control);
  ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

void Drag(POINT from, POINT to, const std::function<void()>& held) {
  MovePointer(from.x, from.y);
  Xdotool(L"mousedown 1");
  Sleep(100);  // X input arrives on its own time
  MovePointer((from.x + to.x) / 2, (from.y + to.y) / 2);
  MovePointer(to.x, to.y);
  Sleep(100);
  if (held) held();
  Xdotool(L"mouseup 1");
}

bool WaitForText(HWND window, bool (*check)(const std::wstring&), DWORD timeoutMs) {
  return WaitFor([&] { return check(TextOf(window)); }, timeoutMs);
}

bool WaitForTextEqual(HWND window, const std::wstring& text, DWORD timeoutMs) {
  return WaitFor([&] { return TextOf(window) == text; }, timeoutMs);
}

bool WaitForKeyboard(HWND window) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  // Wine's X window for it.
  const std::wstring x = std::to_wstring(reinterpret_cast<ULONG_PTR>(GetPropW(window, L"__wine_x11_whole_window")));
  return WaitFor([&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(thread, &info) || info.hwndActive != window || (info.flags & GUI_INMOVESIZE)) return false;
    if (RunShell(L"[ $(xdotool getwindowfocus) = " + x + L" ]") == 0) return true;
    // Once Wine gave the X focus to a window of its own, only a window
    // manager would hand it to a clicked one: there is none here (README).
    RunShell(L"xdotool windowfocus " + x);
    return false;
  });
}


// --- The live scene.

namespace {

constexpr wchar_t kSceneClass[] = L"QuillomatLiveScene";
constexpr UINT_PTR kSceneTimer = 1;

struct SceneState {
  int64_t start = PerformanceCounter();
  std::vector<uint32_t> pixels;
};

void PaintScene(HWND window, SceneState& s) {
  const uint32_t ms = static_cast<uint32_t>((PerformanceCounter() - s.start) * 1000 / PerformanceFrequency());
  constexpr int w = LiveScene::kWidth, h = LiveScene::kHeight;
  s.pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int cell = x / LiveScene::kCellWidth;  // of the clock, in the strip at the top
      const bool one = cell < 32 && ((ms >> (31 - cell)) & 1u) != 0;
      s.pixels[static_cast<size_t>(y) * w + x] =
          y >= LiveScene::kStripHeight ? LiveScene::PatternAt(x, y, ms) : one ? 0xffffff : 0x000000;
    }
  }
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top row first
  HDC dc = GetDC(window);
  // One transfer for the whole picture, so a frame never shows half of one
  // clock and half of the next.
  SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, s.pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(window, dc);
}

LRESULT CALLBACK SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<SceneState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER:
    case WM_PAINT:
      if (message == WM_PAINT) ValidateRect(window, nullptr);
      if (state) PaintScene(window, *state);
      return 0;
    case WM_ERASEBKGND:
      return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

uint32_t LiveScene::PatternAt(int x, int y, uint32_t ms) {
  // Diagonal bands that slide one pixel every 8 ms, over a fixed gradient.
  const uint32_t shift = ms / 8;
  const uint32_t band = ((static_cast<uint32_t>(x + y) + shift) / 16) % 6;
  static const uint32_t kBands[6] = {0xe04040, 0x40c040, 0x4060e0, 0xe0c020, 0x20c0c0, 0xc040c0};
  const uint32_t gradient = static_cast<uint32_t>(y) & 0x1f;
  return kBands[band] ^ gradient;
}

LiveScene::LiveScene(int x, int y) : x_(x), y_(y) {
  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this] { Run(); });
  WaitForSingleObject(ready_, 10000);
  Sleep(200);  // shown and painted a few times
}

LiveScene::~LiveScene() {
  if (threadId_) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
  CloseHandle(ready_);
}

void LiveScene::Run() {
  WindowClass scene;
  scene.name = kSceneClass;
  scene.procedure = SceneProc;
  RegisterWindowClass(scene);
  SceneState state;
  HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kSceneClass, L"scene", WS_POPUP,
                                x_, y_, kWidth, kHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  threadId_ = GetCurrentThreadId();
  if (!window) {
    ADD_FAILURE() << "cannot create the scene window";
    SetEvent(ready_);
    return;
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, kSceneTimer, 10, nullptr);
  SetEvent(ready_);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}
