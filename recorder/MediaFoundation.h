#pragma once
// Media Foundation, loaded when a recording first needs it rather than by
// the loader at process start: on Windows editions without it (the "N"
// editions before the Media Feature Pack is installed) the program still
// runs, and a start says what is missing.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

// Same shape as MFCreateSinkWriterFromURL. Tests put a recording stand-in in
// the engine's place for it.
using SinkWriterFactory = HRESULT(STDAPICALLTYPE*)(LPCWSTR url, IMFByteStream* byteStream,
                                                   IMFAttributes* attributes, IMFSinkWriter** sinkWriter);

struct MediaFoundationApi {
  HRESULT(STDAPICALLTYPE* Startup)(ULONG version, DWORD flags);
  HRESULT(STDAPICALLTYPE* Shutdown)();
  HRESULT(STDAPICALLTYPE* CreateAttributes)(IMFAttributes** attributes, UINT32 size);
  HRESULT(STDAPICALLTYPE* CreateMediaType)(IMFMediaType** type);
  HRESULT(STDAPICALLTYPE* CreateMemoryBuffer)(DWORD length, IMFMediaBuffer** buffer);
  HRESULT(STDAPICALLTYPE* CreateSample)(IMFSample** sample);
  SinkWriterFactory CreateSinkWriterFromURL;
};

// The functions of mfplat.dll and mfreadwrite.dll, loaded on the first call
// and kept for the life of the process; null when either is missing.
const MediaFoundationApi* MediaFoundation();
