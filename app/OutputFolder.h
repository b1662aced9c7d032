#pragma once
// Where recordings go: the default folder, the folder browser, and the path
// of a new recording.
#include <windows.h>

#include <string>

// The user's Pictures folder + "\Quillomat" (the profile's Pictures folder
// when the known folder is unavailable). Not created here.
std::wstring DefaultOutputFolder();

// The folder browser; true with `folder` set when the user chose one.
bool ChooseOutputFolder(HWND owner, std::wstring& folder);

// The path for a recording starting now in `folder`, which is created with
// every missing level first. Never names an existing file. Empty when there
// is none, with `why` set to the status text that says so (or left empty
// when no name is free).
std::wstring OutputPathForNewRecording(const std::wstring& folder, std::wstring& why);

// Explorer on `folder`, made first with every missing level; false when it
// cannot be made.
bool OpenFolderInExplorer(const std::wstring& folder);
// Explorer on the folder of `path`, with the file selected.
void ShowFileInExplorer(const std::wstring& path);
