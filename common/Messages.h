#pragma once
// The program's own window messages, kept in one list so that no two of
// them share a number with each other or with the receiving window's class.
#include <windows.h>

// The main window's class is the program's own, so WM_USER + n is private to
// it; tools that drive the tray icon from outside send this value, 1025.
constexpr UINT WM_TRAYICON = WM_USER + 1;

// To the main window when an offer waits in g_pendingUpdate.
constexpr UINT WM_UPDATE_AVAILABLE = WM_APP + 100;

// To the download's progress window, a "#32770" dialog, where WM_USER + 1
// is DM_SETDEFID.
constexpr UINT WM_DOWNLOAD_DONE = WM_APP + 101;

// To the main window when the camera shown in the webcam overlay was lost
// (unplugged, or failed) and the overlay has closed.
constexpr UINT WM_WEBCAM_LOST = WM_APP + 102;
