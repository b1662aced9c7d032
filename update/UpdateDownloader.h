#pragma once
// The offer of a newer version, the download of its installer with a
// progress window, and the installer's elevated start.
#include <windows.h>

#include <atomic>
#include <string>

#include "common/ProductInfo.h"
#include "common/Win32Handles.h"
#include "ui/Window.h"

inline constexpr wchar_t kOfferCaption[] = L"" QM_PRODUCT_NAME " Update Available";
inline constexpr wchar_t kUpdateErrorCaption[] = L"Update Error";
inline constexpr wchar_t kUpdateFailedCaption[] = L"Update Failed";
inline constexpr wchar_t kProgressTitle[] = L"Downloading Update...";
inline constexpr wchar_t kDownloadFailedText[] =
    L"Download failed. Please check your internet connection and try again.";
inline constexpr wchar_t kDownloadIncompleteText[] =
    L"The download ended early. Please check your internet connection and try again.";
inline constexpr wchar_t kCannotWriteText[] = L"Cannot write to temp file.";
inline constexpr wchar_t kInvalidUrlText[] = L"Invalid download URL.";
inline constexpr wchar_t kNotVerifiedText[] =
    L"The downloaded installer could not be verified, so it was not started. Please try again later.";

// Shared by the prompt and the worker; the worker keeps its own reference, so
// that a worker stuck on a silent server may be left behind.
struct DownloadContext {
  wchar_t url[2048];
  wchar_t installerPath[260];  // in the download's own folder, once the worker has made it
  HWND progressBar;
  HWND statusLabel;
  std::atomic<bool> succeeded;
  std::atomic<bool> cancelled;
  wchar_t errorText[256];
  wchar_t tempFolder[260];  // where the download's folder is made
  wchar_t folder[260];
  unique_file installer;  // the verified installer, open for reading only until it is started
  std::wstring version;   // offered; the installer must carry it
  ScaledLayout layout;    // the progress window's controls; user-interface thread only
};

// Offers g_pendingUpdate; on acceptance downloads and verifies its installer
// beside a progress window. True when the verified installer is ready, held
// open until StartReadyUpdate or DiscardReadyUpdate (user-interface thread).
bool ShowUpdatePrompt(HWND owner);
bool UpdateReady();
// Starts the ready installer with administrator rights, records its version
// and closes the owner (the main window); nothing when none is ready.
void StartReadyUpdate(HWND owner);
// Removes the ready installer unstarted: the program ends without the stop
// it was waiting for.
void DiscardReadyUpdate();

// `context`: a new std::shared_ptr<DownloadContext>, which the worker deletes.
DWORD WINAPI DownloadThreadProc(LPVOID context);
