#include "update/UpdateDownloader.h"

#include <commctrl.h>
#include <bcrypt.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Messages.h"
#include "common/ProductInfo.h"
#include "update/HttpClient.h"
#include "update/InstallerTrust.h"
#include "update/ProgramImage.h"
#include "update/UpdateCheck.h"
#include "update/UpdateText.h"
#include "ui/Window.h"

namespace {

// Outer width; the height is what the caption and frame need around a client
// area that holds the Cancel button (a fixed outer 120 cuts it off).
constexpr int kProgressWidth = 400, kProgressClientHeight = 116;  // at 96 DPI
// Its controls, in the system font (at 100 % their own).
enum ProgressControl { kStatusLabel, kProgressBar, kCancelButton };
const FontSpec kProgressFonts[] = {{}};
const ControlSpec kProgressControls[] = {
    {L"STATIC", L"Connecting...", 0, 16, 14, 368, 20, 0, 0},
    {PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 16, 44, 368, 20},
    {L"BUTTON", L"Cancel", BS_PUSHBUTTON, 156, 76, 88, 28, IDCANCEL, 0},
};
// A server that stops sending ends the download after this long without a
// byte; the whole download has no limit, as a slow line may need hours.
constexpr int kNetworkTimeoutMs = 10000;
// How long a cancel or the program's end waits for the worker to notice.
constexpr DWORD kCancelWaitMs = 3000;

void Report(DownloadContext& c, const wchar_t* text) {
  lstrcpynW(c.errorText, text, 256);
  SetWindowTextW(c.statusLabel, text);
}

void Finish(DownloadContext& c) {
  PostMessageW(GetParent(c.progressBar), WM_DOWNLOAD_DONE, c.succeeded.load() ? 1 : 0, 0);
}

// A folder of this download's own under the temporary folder, with a name no
// one can guess: nothing planted beforehand is ever written or started.
bool MakeOwnFolder(DownloadContext& c) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    unsigned char random[16];
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    std::wstring folder = std::wstring(c.tempFolder) + L"" QM_PRODUCT_NAME "-Update-";
    for (const unsigned char byte : random) {
      folder += L"0123456789abcdef"[byte >> 4];
      folder += L"0123456789abcdef"[byte & 15];
    }
    const std::wstring installer = InstallerPath(folder + L"\\");
    if (installer.empty()) return false;
    // Made new: a folder that already exists is never used.
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
      lstrcpynW(c.folder, folder.c_str(), 260);
      lstrcpynW(c.installerPath, installer.c_str(), 260);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

void RemoveOwnFolder(DownloadContext& c) {
  c.installer.reset();
  if (!c.folder[0]) return;
  DeleteFileW(c.installerPath);
  RemoveDirectoryW(c.folder);
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Re-opens the written file for reading only, sharing it with readers only:
// from here until the start nothing can change, rename or replace it. False
// when what opens is not the file that was written.
bool HoldForReading(DownloadContext& c, unique_file written) {
  BY_HANDLE_FILE_INFORMATION before{}, after{};
  if (!GetFileInformationByHandle(written.get(), &before)) return false;
  written.reset();  // a writer cannot share with the read-only holder
  unique_file held(CreateFileW(c.installerPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held || !GetFileInformationByHandle(held.get(), &after) || !SameFile(before, after)) return false;
  c.installer = std::move(held);
  return true;
}

// A download cut short without a length to compare with shows here: the file
// ends inside its own sections or signature, or is no program at all.
bool IsWholeProgram(HANDLE file) {
  std::vector<unsigned char> headers(64 * 1024);
  DWORD read = 0;
  LARGE_INTEGER size{}, start{};
  if (!ReadFile(file, headers.data(), static_cast<DWORD>(headers.size()), &read, nullptr) ||
      !GetFileSizeEx(file, &size) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    return false;
  }
  const uint64_t end = ProgramImageEnd(headers.data(), read);
  return end != 0 && end <= static_cast<uint64_t>(size.QuadPart);
}

// Where the held installer is, every link and junction on the way resolved:
// a folder re-pointed since the check brings no other file to the start.
// Without the "\\?\" prefix, which the shell does not take. Empty when it
// cannot be had.
std::wstring HeldPath(HANDLE file) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
  return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

std::wstring OwnProgramPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The download proper; returns with errorText set on a failure it can name,
// and with the installer held once it may be started.
void Download(DownloadContext& c) {
  UrlParts parts;
  // Only an encrypted, authenticated connection may bring a program that
  // will run with administrator rights.
  if (!SplitUrl(c.url, parts) || parts.scheme != INTERNET_SCHEME_HTTPS) return Report(c, kInvalidUrlText);
  HttpRequest r;
  OpenGetRequest(parts, WINHTTP_ACCESS_TYPE_NO_PROXY, r);
  if (!r.session) return Report(c, L"Failed to open HTTP session.");
  if (!r.connection) return Report(c, L"Cannot connect to server.");
  if (!r.request) return Report(c, L"Cannot create HTTP request.");
  // Redirects may never leave https (the platform's default, stated here).
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(r.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  WinHttpSetTimeouts(r.request.get(), kNetworkTimeoutMs, kNetworkTimeoutMs, kNetworkTimeoutMs, kNetworkTimeoutMs);
  if (!WinHttpSendRequest(r.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(r.request.get(), nullptr)) {
    return Report(c, L"No response from server.");
  }
  // Wherever redirects led, the answer must have come over https.
  wchar_t answered[2048] = {};
  DWORD urlSize = sizeof(answered);
  if (!WinHttpQueryOption(r.request.get(), WINHTTP_OPTION_URL, answered, &urlSize) ||
      _wcsnicmp(answered, L"https://", 8) != 0) {
    return Report(c, kInvalidUrlText);
  }

  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(r.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    status = 0;
  }
  if (status != 200) {
    wchar_t text[64];
    std::swprintf(text, 64, L"Server returned HTTP %u. Check the download URL.", static_cast<unsigned>(status));
    return Report(c, text);
  }

  uint32_t total = 0;
  wchar_t length[32] = {};
  size = sizeof(length);
  if (WinHttpQueryHeaders(r.request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length, &size,
                          WINHTTP_NO_HEADER_INDEX)) {
    total = ParseContentLength(length);
    if (total != 0) SendMessageW(c.progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
  }

  if (!MakeOwnFolder(c)) return Report(c, kCannotWriteText);
  unique_file file(CreateFileW(c.installerPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Report(c, kCannotWriteText);

  uint32_t received = 0;
  bool writeFailed = false;
  const bool ended = ReadBody(r.request.get(), [&](const char* piece, DWORD read) {
    DWORD written = 0;
    // A short or failed write leaves a broken installer: never start that.
    if (read != 0 && (!WriteFile(file.get(), piece, read, &written, nullptr) || written != read)) {
      writeFailed = true;
      return false;
    }
    received += read;
    if (total != 0) SendMessageW(c.progressBar, PBM_SETPOS, received, 0);
    SetWindowTextW(c.statusLabel, DownloadProgressText(received, total).c_str());
    return !c.cancelled.load();
  });
  if (writeFailed) return Report(c, kCannotWriteText);
  if (c.cancelled.load()) return;
  // A connection that broke, or fewer bytes than announced: the installer
  // is cut short.
  if (!ended || (total != 0 && received < total)) return Report(c, kDownloadIncompleteText);
  if (received == 0) return;
  if (!HoldForReading(c, std::move(file))) return Report(c, kNotVerifiedText);
  if (!IsWholeProgram(c.installer.get())) return Report(c, total == 0 ? kDownloadIncompleteText : kNotVerifiedText);
  if (!InstallerMayStart(OwnProgramPath().c_str(), c.installerPath, c.installer.get(), c.version)) {
    return Report(c, kNotVerifiedText);
  }
  // Cancelled while it was being checked: nothing is started.
  if (c.cancelled.load()) return;
  c.succeeded = true;
}

// Waits for the worker while still serving the calls it makes into this
// thread's windows (label and bar updates), so neither waits for the other.
// False when it had not ended in time.
bool WaitServingSentMessages(HANDLE worker, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD waited = GetTickCount() - start;
    if (waited >= timeoutMs) return false;
    const DWORD result = MsgWaitForMultipleObjects(1, &worker, FALSE, timeoutMs - waited, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// Cancel, its close box, Alt+F4 and Escape: the flag is set here and now, in
// whichever loop dispatched the message (another window's loop may be
// running above the download's), and the window goes out of sight.
void CancelDownload(HWND progress, DownloadContext& c) {
  c.cancelled = true;
  ShowWindow(progress, SW_HIDE);
}

// On the progress window (the dialog class has no procedure of ours) and on
// its Cancel button, which has the focus and so gets the Escape key.
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto& c = *reinterpret_cast<DownloadContext*>(data);
  HWND progress = GetAncestor(window, GA_ROOT);
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) break;
      CancelDownload(progress, c);
      return 0;
    case WM_CLOSE:
      CancelDownload(progress, c);
      return 0;
    case WM_KEYDOWN:
      if (wParam != VK_ESCAPE) break;
      CancelDownload(progress, c);
      return 0;
    case WM_DOWNLOAD_DONE:
      return 0;  // the worker's handle says so; the loop waits on that
    case WM_DPICHANGED:
      c.layout.TakeNewScale(wParam, lParam);
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, ProgressProc, 0);
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

// The verified installer of an accepted update, held open until it is
// started or removed (user-interface thread only).
std::shared_ptr<DownloadContext> g_readyUpdate;

void RecordAcknowledged(const std::wstring& version) {
  unique_hkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key.get(), kAcknowledgedValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                 static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

DWORD WINAPI DownloadThreadProc(LPVOID parameter) {
  const std::unique_ptr<std::shared_ptr<DownloadContext>> owner(static_cast<std::shared_ptr<DownloadContext>*>(parameter));
  DownloadContext& c = **owner;
  c.succeeded = false;
  c.errorText[0] = L'\0';
  Download(c);
  if (!c.succeeded) RemoveOwnFolder(c);
  Finish(c);
  return 0;
}

bool ShowUpdatePrompt(HWND owner) {
  const UpdateInfo offer = g_pendingUpdate;
  if (MessageBoxW(owner, ComposeOfferText(offer.version, offer.changelog).c_str(), kOfferCaption,
                  MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    return false;
  }
  if (offer.downloadUrl.empty()) {
    MessageBoxW(owner, L"No download URL available. Please contact support.", kUpdateErrorCaption,
                MB_OK | MB_ICONWARNING);
    return false;
  }
  if (offer.downloadUrl.size() >= 2048) {
    // Never a truncated address: that would name another file.
    MessageBoxW(owner, kInvalidUrlText, kUpdateFailedCaption, MB_OK | MB_ICONERROR);
    return false;
  }

  constexpr DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
  // At the scale of the owner's monitor, where it opens.
  const UINT dpi = DpiOf(owner);
  RECT frame{0, 0, 0, ScaleForDpi(kProgressClientHeight, static_cast<int>(dpi))};
  AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, dpi);
  const int width = ScaledWindowSize({kProgressWidth, 0, style, exStyle}, dpi).cx;
  const int height = frame.bottom - frame.top;
  // Made where it goes: made elsewhere and moved there, it would be scaled again.
  const PixelPoint at = CentredOverWindow(owner, width, height);
  HWND progress = CreateWindowExW(exStyle, L"#32770", kProgressTitle, style, at.x, at.y, width, height, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);

  const auto context = std::make_shared<DownloadContext>();
  DownloadContext& c = *context;
  lstrcpynW(c.url, offer.downloadUrl.c_str(), 2048);
  c.version = offer.version;
  GetTempPathW(260, c.tempFolder);
  c.layout.Create(progress, dpi, kProgressControls, kProgressFonts);
  c.statusLabel = c.layout.control(kStatusLabel);
  c.progressBar = c.layout.control(kProgressBar);
  HWND cancel = c.layout.control(kCancelButton);
  SendMessageW(c.progressBar, PBM_SETRANGE32, 0, 100);
  SendMessageW(c.progressBar, PBM_SETPOS, 0, 0);
  SetWindowSubclass(progress, ProgressProc, 0, reinterpret_cast<DWORD_PTR>(&c));
  SetWindowSubclass(cancel, ProgressProc, 0, reinterpret_cast<DWORD_PTR>(&c));
  SetFocus(cancel);

  auto* shared = new std::shared_ptr<DownloadContext>(context);
  unique_kernel_handle worker(CreateThread(nullptr, 0, DownloadThreadProc, shared, 0, nullptr));
  if (!worker) delete shared;
  // The download ends on its own signals only: the worker's end, its cancel
  // flag, or its window gone with the main window (the program is closing).
  // Posted messages would not do: another window's loop may be the one
  // running when they arrive. While such a loop runs above this one, the
  // download's end waits for it.
  std::optional<int> quit;
  bool finished = !worker;
  if (worker) {
    int quitCode = 0;
    const LoopEnd end = RunLoopUntil([&] { return c.cancelled || !IsWindow(progress); }, worker.get(), quitCode);
    // A quit means the program is ending (no window of ours ends its loop
    // with one): the download is given up, and the quit passed on below.
    if (end == LoopEnd::Quit) quit = quitCode;
    if (end != LoopEnd::Signalled) c.cancelled = true;
    // A worker waiting on a silent server is left to its time-out: it ends on
    // its own, and removes its folder then.
    finished = end == LoopEnd::Signalled || WaitServingSentMessages(worker.get(), kCancelWaitMs);
  } else {
    Report(c, kDownloadFailedText);
  }
  if (IsWindow(progress)) DestroyWindow(progress);

  const bool ready = finished && c.succeeded && !c.cancelled;
  if (ready) {
    g_readyUpdate = context;
  } else if (finished && c.succeeded) {
    // Cancelled after the worker's last look at the flag: its installer goes.
    RemoveOwnFolder(c);
  } else if (finished && !c.cancelled) {
    MessageBoxW(owner, c.errorText[0] ? c.errorText : kDownloadFailedText, kUpdateFailedCaption, MB_OK | MB_ICONERROR);
  }
  if (quit) PostQuitMessage(*quit);
  return ready;
}

bool UpdateReady() { return g_readyUpdate != nullptr; }

void StartReadyUpdate(HWND owner) {
  const std::shared_ptr<DownloadContext> ready = std::move(g_readyUpdate);
  if (!ready) return;
  // Started by the handle that was verified, not by the path it was written to.
  const std::wstring path = HeldPath(ready->installer.get());
  if (path.empty()) {
    RemoveOwnFolder(*ready);
    MessageBoxW(owner, kNotVerifiedText, kUpdateFailedCaption, MB_OK | MB_ICONERROR);
    return;
  }
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.lpVerb = L"runas";
  execute.lpFile = path.c_str();
  execute.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&execute);  // also when the user declines the elevation:
  ready->installer.reset();
  RecordAcknowledged(ready->version);
  // Through the main window, not a quit message: a loop of another window
  // (About, the settings) may be running below this one.
  PostMessageW(owner, WM_CLOSE, 0, 0);
}

void DiscardReadyUpdate() {
  if (const std::shared_ptr<DownloadContext> ready = std::move(g_readyUpdate)) RemoveOwnFolder(*ready);
}
