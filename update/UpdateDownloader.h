#pragma once
// The offer of a newer version, the download of its installer with a
// progress window, and the installer's elevated start.
#include <windows.h>

#include <atomic>

inline constexpr wchar_t kOfferCaption[] = L"Quillomat Update Available";
inline constexpr wchar_t kUpdateErrorCaption[] = L"Update Error";
inline constexpr wchar_t kUpdateFailedCaption[] = L"Update Failed";
inline constexpr wchar_t kProgressTitle[] = L"Downloading Update...";
inline constexpr wchar_t kDownloadFailedText[] =
    L"Download failed. Please check your internet connection and try again.";
inline constexpr wchar_t kDownloadIncompleteText[] =
    L"The download ended early. Please check your internet connection and try again.";
inline constexpr wchar_t kCannotWriteText[] = L"Cannot write to temp file.";
inline constexpr wchar_t kInvalidUrlText[] = L"Invalid download URL.";

// Shared by the prompt (which owns it for the whole download) and the worker.
struct DownloadContext {
  wchar_t url[2048];
  wchar_t installerPath[260];
  HWND progressBar;
  HWND statusLabel;
  std::atomic<bool> succeeded;
  std::atomic<bool> cancelled;
  wchar_t errorText[256];
};

// Offers g_pendingUpdate; on acceptance downloads and starts the installer,
// records the version and posts the quit message.
void ShowUpdatePrompt(HWND owner);

DWORD WINAPI DownloadThreadProc(LPVOID context);
