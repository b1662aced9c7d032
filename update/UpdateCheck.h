#pragma once
// The once-per-start question to the version service: is there a newer
// version whose installer the user has not started yet?
#include <windows.h>

#include <string>

#include "common/Messages.h"
#include "common/ProductInfo.h"

// The main window as the check thread sees it: set once the window is shown,
// before the thread starts.
extern HWND g_mainWindowHandle;

struct UpdateInfo {
  std::wstring version;
  std::wstring changelog;
  std::wstring downloadUrl;
};

// The offer waiting for the main window; written once by the check thread
// before it posts WM_UPDATE_AVAILABLE, read after that message.
extern UpdateInfo g_pendingUpdate;

// The version service. Set at build time (QM_SERVICE_BASE_URL); the default
// is a placeholder under .example until the real address is known.
extern const wchar_t* const kServiceBaseUrl;

inline constexpr wchar_t kUpdateRegistryKey[] = L"SOFTWARE\\" QM_PRODUCT_NAME "\\Update";
inline constexpr wchar_t kAcknowledgedValue[] = L"AcknowledgedVersion";

// Asks the service and fills `info` with what it says; true when the update
// is to be offered.
bool CheckForUpdate(UpdateInfo& info);

// The version whose installer was last started (empty when none).
std::wstring AcknowledgedVersion();

// The check thread: one check, and WM_UPDATE_AVAILABLE to the main window
// when there is an offer.
DWORD WINAPI UpdateCheckThreadProc(LPVOID parameter);

// True once, after the check thread has filled g_pendingUpdate: a
// WM_UPDATE_AVAILABLE that anyone else posts, or a second one, offers nothing.
bool TakePendingUpdate();
