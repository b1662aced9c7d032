#pragma once
// The notification-area icon with its menu, which keeps the program
// reachable while the main window is hidden.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/Messages.h"
#include "common/Win32Handles.h"

class TrayIcon {
 public:
  // Owns `menu` from here on.
  TrayIcon(HWND owner, HICON icon, HMENU menu);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  HMENU menu() const { return menu_.get(); }
  void SetTip(const std::wstring& tip);
  void SetDurationText(const std::wstring& duration);
  // The balloon that says a recording's file is finished (saved, or
  // recovered after a crash); a click on it shows the file in Explorer.
  void ShowFileBalloon(const wchar_t* title, const std::wstring& path, const std::wstring& text);
  // lParam of WM_TRAYICON: the mouse message, or the balloon's.
  void OnNotify(LPARAM mouseMessage);

 private:
  NOTIFYICONDATAW data_{};
  HWND owner_;
  unique_hmenu menu_;
  std::wstring savedPath_;
  bool added_ = false;
};
