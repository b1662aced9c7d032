#pragma once
// Whether a downloaded installer may be started with administrator rights:
// when this program carries an Authenticode signature, only an installer
// validly signed by the same publisher may.
#include <windows.h>

// `installer` is the downloaded file, held open for reading at
// `installerPath`; `programPath` is the running program's own file. A
// program without a signature (a development build) accepts any installer.
bool InstallerMayStart(const wchar_t* programPath, const wchar_t* installerPath, HANDLE installer);
