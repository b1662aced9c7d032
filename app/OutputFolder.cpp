#include "app/OutputFolder.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/OutputNaming.h"
#include "app/StatusText.h"
#include "common/ProductInfo.h"
#include "common/Win32Handles.h"

namespace {
// Less than this is about a minute of full-screen video: not worth starting.
constexpr uint64_t kMinimumFreeBytes = 16ull * 1024 * 1024;

// Windows' own Explorer: a bare name would also find a program of that name
// in the current folder or beside a portable copy of this one.
std::wstring ExplorerPath() {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  return (length > 0 && length < MAX_PATH ? std::wstring(windows, length) : std::wstring(L"C:\\Windows")) +
         L"\\explorer.exe";
}
}  // namespace

std::wstring DefaultOutputFolder() {
  unique_cotaskmem<wchar_t> pictures;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, pictures.put())) && pictures) {
    return std::wstring(pictures.get()) + L"\\" QM_PRODUCT_NAME;
  }
  wchar_t profile[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return std::wstring(profile) + L"\\Pictures\\" QM_PRODUCT_NAME;
  // Neither is known: the temporary folder still takes recordings.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = temp;
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder + L"\\" QM_PRODUCT_NAME;
}

bool ChooseOutputFolder(HWND owner, std::wstring& folder) {
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = L"Select Output Folder";
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  unique_cotaskmem<ITEMIDLIST> chosen(SHBrowseForFolderW(&browse));
  if (!chosen) return false;
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(chosen.get(), path)) return false;
  folder = path;
  return true;
}

std::wstring OutputPathForNewRecording(const std::wstring& folder, std::wstring& why) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const LocalTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  // The longest name a recording may get, so that no later one is cut short.
  if (OutputPath(folder, OutputFileName(time)).size() + 5 >= MAX_PATH) {
    why = kStatusFolderTooLong;
    return {};
  }
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  ULARGE_INTEGER available{};
  if ((made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) ||
      !GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
    why = kStatusFolderNotWritable;
    return {};
  }
  if (available.QuadPart < kMinimumFreeBytes) {
    why = kStatusDiskFull;
    return {};
  }
  return UniqueOutputPath(folder, time, [](const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  });
}

bool OpenFolderInExplorer(const std::wstring& folder) {
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) return false;
  const std::wstring quoted = L"\"" + folder + L"\"";
  ShellExecuteW(nullptr, nullptr, ExplorerPath().c_str(), quoted.c_str(), nullptr, SW_SHOWNORMAL);
  return true;
}

void ShowFileInExplorer(const std::wstring& path) {
  const std::wstring select = L"/select,\"" + path + L"\"";
  ShellExecuteW(nullptr, nullptr, ExplorerPath().c_str(), select.c_str(), nullptr, SW_SHOWNORMAL);
}
