#include "update/UpdateDownloader.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <optional>
#include <string>

#include "common/Messages.h"
#include "update/HttpClient.h"
#include "update/UpdateCheck.h"
#include "update/UpdateText.h"
#include "ui/Window.h"

namespace {

constexpr int kProgressWidth = 400, kProgressHeight = 120;

void Report(DownloadContext& c, const wchar_t* text) {
  lstrcpynW(c.errorText, text, 256);
  SetWindowTextW(c.statusLabel, text);
}

void Finish(DownloadContext& c) {
  PostMessageW(GetParent(c.progressBar), WM_DOWNLOAD_DONE, c.succeeded.load() ? 1 : 0, 0);
}

// The download proper; returns with errorText set on a failure it can name.
void Download(DownloadContext& c) {
  UrlParts parts;
  if (!SplitUrl(c.url, parts)) return Report(c, kInvalidUrlText);
  HttpRequest r;
  OpenGetRequest(parts, WINHTTP_ACCESS_TYPE_NO_PROXY, r);
  if (!r.session) return Report(c, L"Failed to open HTTP session.");
  if (!r.connection) return Report(c, L"Cannot connect to server.");
  if (!r.request) return Report(c, L"Cannot create HTTP request.");
  if (!WinHttpSendRequest(r.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(r.request.get(), nullptr)) {
    return Report(c, L"No response from server.");
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

  unique_file file(CreateFileW(c.installerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return Report(c, kCannotWriteText);

  uint32_t received = 0;
  bool writeFailed = false;
  ReadBody(r.request.get(), [&](const char* piece, DWORD read) {
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
  file.reset();
  if (c.cancelled.load() || received == 0) return;
  // Fewer bytes than announced: the connection ended early and the
  // installer is cut short.
  if (total != 0 && received < total) return Report(c, kDownloadIncompleteText);
  c.succeeded = true;
}

// Waits for the worker while still serving the calls it makes into this
// thread's windows (label and bar updates), so neither waits for the other.
void WaitServingSentMessages(HANDLE worker) {
  while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

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
  auto& c = *static_cast<DownloadContext*>(parameter);
  c.succeeded = false;
  c.errorText[0] = L'\0';
  Download(c);
  Finish(c);
  return 0;
}

void ShowUpdatePrompt(HWND owner) {
  const UpdateInfo offer = g_pendingUpdate;
  if (MessageBoxW(owner, ComposeOfferText(offer.version, offer.changelog).c_str(), kOfferCaption,
                  MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    return;
  }
  if (offer.downloadUrl.empty()) {
    MessageBoxW(owner, L"No download URL available. Please contact support.", kUpdateErrorCaption,
                MB_OK | MB_ICONWARNING);
    return;
  }
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring installer = InstallerPath(temp);
  if (installer.empty() || offer.downloadUrl.size() >= 2048) {
    // Never a truncated path (or address): that would name another file.
    MessageBoxW(owner, installer.empty() ? kCannotWriteText : kInvalidUrlText, kUpdateFailedCaption,
                MB_OK | MB_ICONERROR);
    return;
  }

  HWND progress = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, L"#32770", kProgressTitle,
                                  WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 0, 0, kProgressWidth,
                                  kProgressHeight, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  PlaceCentredOver(progress, owner, kProgressWidth, kProgressHeight);

  auto context = std::make_unique<DownloadContext>();
  DownloadContext& c = *context;
  lstrcpynW(c.url, offer.downloadUrl.c_str(), 2048);
  lstrcpynW(c.installerPath, installer.c_str(), 260);
  c.statusLabel = MakeControl(progress, L"STATIC", L"Connecting...", 0, 16, 14, 368, 20);
  c.progressBar = MakeControl(progress, PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 16, 44, 368, 20);
  MakeControl(progress, L"BUTTON", L"Cancel", BS_PUSHBUTTON, 156, 76, 88, 28, IDCANCEL);
  SendMessageW(c.progressBar, PBM_SETRANGE32, 0, 100);
  SendMessageW(c.progressBar, PBM_SETPOS, 0, 0);

  HANDLE worker = CreateThread(nullptr, 0, DownloadThreadProc, &c, 0, nullptr);
  // A quit taken here means the program is being closed: the download still
  // finishes, and the quit is passed on to the main loop afterwards.
  std::optional<int> quit;
  if (worker) {
    quit = RunNestedLoop([&](const MSG& message) {
      if (message.message == WM_DOWNLOAD_DONE && message.hwnd == progress) return true;
      if (message.message != WM_COMMAND || LOWORD(message.wParam) != IDCANCEL) return false;
      c.cancelled = true;
      return true;
    });
    WaitServingSentMessages(worker);
    CloseHandle(worker);
  } else {
    Report(c, kDownloadFailedText);
  }
  DestroyWindow(progress);

  if (c.succeeded) {
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.lpVerb = L"runas";
    execute.lpFile = c.installerPath;
    execute.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&execute);  // also when the user declines the elevation:
    RecordAcknowledged(offer.version);
    PostQuitMessage(0);
    return;
  }
  if (!c.cancelled) {
    MessageBoxW(owner, c.errorText[0] ? c.errorText : kDownloadFailedText, kUpdateFailedCaption, MB_OK | MB_ICONERROR);
  }
  if (quit) PostQuitMessage(*quit);
}
