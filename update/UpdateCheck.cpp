#include "update/UpdateCheck.h"

#include <atomic>

#include "common/ProductInfo.h"
#include "update/HttpClient.h"
#include "update/JsonFields.h"
#include "update/Version.h"

#ifndef QM_SERVICE_BASE_URL
#define QM_SERVICE_BASE_URL L"https://updates." QM_VENDOR_HOST
#endif

UpdateInfo g_pendingUpdate;
HWND g_mainWindowHandle = nullptr;
const wchar_t* const kServiceBaseUrl = QM_SERVICE_BASE_URL;

namespace {
// Set by the check thread with g_pendingUpdate; taken once by the main window.
std::atomic<bool> g_updatePending{false};
}  // namespace

std::wstring AcknowledgedVersion() {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUpdateRegistryKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  wchar_t value[64] = {};
  DWORD type = REG_SZ;
  DWORD size = sizeof(value);
  // A value too long for the buffer counts as nothing acknowledged.
  if (RegQueryValueExW(key.get(), kAcknowledgedValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  value[63] = L'\0';
  return value;
}

bool CheckForUpdate(UpdateInfo& info) {
  const std::string body = HttpGet(std::wstring(kServiceBaseUrl) + L"/api/version/latest");
  if (body.empty() || !JsonGetBool(body, "available")) return false;
  info.version = Utf8ToWide(JsonGetString(body, "version"));
  info.changelog = Utf8ToWide(JsonGetString(body, "changelog"));
  info.downloadUrl = Utf8ToWide(JsonGetString(body, "download_url"));
  if (!IsWellFormedVersion(info.version) || !IsNewerVersion(info.version, kCurrentVersion)) return false;
  return AcknowledgedVersion() != info.version;
}

DWORD WINAPI UpdateCheckThreadProc(LPVOID) {
  UpdateInfo info;
  if (CheckForUpdate(info)) {
    g_pendingUpdate = info;
    g_updatePending = true;
    PostMessageW(g_mainWindowHandle, WM_UPDATE_AVAILABLE, 0, 0);
  }
  return 0;
}

bool TakePendingUpdate() { return g_updatePending.exchange(false); }
