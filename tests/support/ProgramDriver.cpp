#include "tests/support/ProgramDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/ScreenFixtures.h"
#include "ui/Window.h"

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Quillomat.exe";
}

Program::Program() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
  started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process_) != FALSE;
}

Program::~Program() {
  if (!started_) return;
  Kill();
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

void Program::Kill() {
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
}

HWND FindVisibleWindow(DWORD pid, const wchar_t* className, const wchar_t* title) {
  struct Search {
    DWORD pid;
    const wchar_t* cls;
    const wchar_t* title;
    HWND found;
  } search{pid, className, title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t cls[64] = {};
        GetClassNameW(window, cls, 64);
        if (owner == s->pid && _wcsicmp(cls, s->cls) == 0 && IsWindowVisible(window) &&
            (!s->title || TextOf(window) == s->title)) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Program::FindWindowOfClass(const wchar_t* className, DWORD timeoutMs, const wchar_t* title) const {
  const DWORD start = GetTickCount();
  do {
    if (HWND found = FindVisibleWindow(process_.dwProcessId, className, title)) return found;
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

void ClickOn(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool WaitForText(HWND window, bool (*check)(const std::wstring&), DWORD timeoutMs) {
  return WaitFor([&] { return check(TextOf(window)); }, timeoutMs);
}

bool WaitForTextEqual(HWND window, const std::wstring& text, DWORD timeoutMs) {
  return WaitFor([&] { return TextOf(window) == text; }, timeoutMs);
}

std::vector<StandInCall> ReadJournal(const std::wstring& path) {
  std::vector<StandInCall> out;
  const std::string text = ReadFileBytes(path);
  for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
    end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    StandInCall call;
    if (ParseJournalLine(text.substr(begin, end - begin), call)) out.push_back(call);
  }
  return out;
}

// --- The live scene.

namespace {

constexpr wchar_t kSceneClass[] = L"QuillomatLiveScene";
constexpr UINT_PTR kSceneTimer = 1;

struct SceneState {
  LARGE_INTEGER start{}, frequency{};
  std::vector<uint32_t> pixels;
};

void PaintScene(HWND window, SceneState& s) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const uint32_t ms = static_cast<uint32_t>((now.QuadPart - s.start.QuadPart) * 1000 / s.frequency.QuadPart);
  constexpr int w = LiveScene::kWidth, h = LiveScene::kHeight;
  s.pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < LiveScene::kStripHeight; ++y) {
    for (int x = 0; x < w; ++x) {
      const int cell = x / LiveScene::kCellWidth;
      const bool one = cell < 32 && ((ms >> (31 - cell)) & 1u) != 0;
      s.pixels[static_cast<size_t>(y) * w + x] = one ? 0xffffff : 0x000000;
    }
  }
  for (int y = LiveScene::kStripHeight; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.pixels[static_cast<size_t>(y) * w + x] = LiveScene::PatternAt(x, y, ms);
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
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
  QueryPerformanceFrequency(&state.frequency);
  QueryPerformanceCounter(&state.start);
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
  KillTimer(window, kSceneTimer);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}
