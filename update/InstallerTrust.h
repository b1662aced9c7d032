#pragma once
// Whether a downloaded installer may be started with administrator rights:
// when this program carries an Authenticode signature, only an installer
// validly signed by the same publisher, of the version offered, may.
#include <windows.h>

#include <string>

// `installer` is the downloaded file, held open for reading at
// `installerPath`; `programPath` is the running program's own file;
// `offeredVersion` the version the update service offered. A program without
// a signature (a development build, whose image has no certificate table)
// accepts any installer; a signed one whose own signature cannot be read at
// `programPath` accepts none.
bool InstallerMayStart(const wchar_t* programPath, const wchar_t* installerPath, HANDLE installer,
                       const std::wstring& offeredVersion);
