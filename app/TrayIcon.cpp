#include "app/TrayIcon.h"

#include "app/Commands.h"
#include "app/OutputFolder.h"
#include "app/StatusText.h"
#include "res/resource.h"

TrayIcon::TrayIcon(HWND owner, HICON icon, HMENU menu) : owner_(owner), menu_(menu) {
  data_.cbSize = sizeof(data_);
  data_.hWnd = owner;
  data_.uID = 1;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = WM_TRAYICON;
  data_.hIcon = icon;
  lstrcpynW(data_.szTip, kTipReady, ARRAYSIZE(data_.szTip));
  added_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;

}

TrayIcon::~TrayIcon() {
  if (added_) Shell_NotifyIconW(NIM_DELETE, &data_);
}

void TrayIcon::SetTip(const std::wstring& tip) {
  if (!added_) return;
  lstrcpynW(data_.szTip, tip.c_str(), ARRAYSIZE(data_.szTip));  // at most 127 characters
  data_.uFlags = NIF_TIP;
  Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TrayIcon::SetDurationText(const std::wstring& duration) {
  if (!menu_) return;
  const std::wstring text = kTrayDurationPrefix + duration;
  ModifyMenuW(menu_.get(), kTrayDurationPosition, MF_BYPOSITION | MF_GRAYED, 0, text.c_str());
}

void TrayIcon::ShowFileBalloon(const wchar_t* title, const std::wstring& path, const std::wstring& text) {
  if (!added_) return;
  savedPath_ = path;
  NOTIFYICONDATAW balloon = data_;
  balloon.uFlags = NIF_INFO;
  lstrcpynW(balloon.szInfoTitle, title, ARRAYSIZE(balloon.szInfoTitle));
  lstrcpynW(balloon.szInfo, text.c_str(), ARRAYSIZE(balloon.szInfo));
  balloon.dwInfoFlags = NIIF_INFO;
  Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void TrayIcon::OnNotify(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case NIN_BALLOONUSERCLICK:
      if (!savedPath_.empty()) ShowFileInExplorer(savedPath_);
      break;
    case WM_RBUTTONUP:
      if (menu_) {
        POINT cursor;
        GetCursorPos(&cursor);
        // Without the foreground the menu would not close when clicked away.
        // The menu's loop may end with the main window gone, and this icon
        // with it: nothing of it is read after.
        const HWND owner = owner_;
        SetForegroundWindow(owner);
        TrackPopupMenu(menu_.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
        PostMessageW(owner, WM_NULL, 0, 0);
      }
      break;
    case WM_LBUTTONDBLCLK:
      ShowWindow(owner_, SW_RESTORE);
      SetForegroundWindow(owner_);
      break;
    default:
      break;
  }
}
