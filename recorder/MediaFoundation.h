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

// The sink writer's container, and the fragmented MP4 it is asked for (so
// that a crash loses at most the last fragment). Declared here: not every
// toolchain's import libraries define them.
inline constexpr GUID kTranscodeContainerType = {0x150ff23f, 0x4abc, 0x478b, {0xac, 0x4f, 0xe1, 0x91, 0x6f, 0xba, 0x1c, 0xca}};
inline constexpr GUID kContainerFragmentedMp4 = {0x9ba876f1, 0x419f, 0x4b77, {0xa1, 0xe0, 0x35, 0x95, 0x9d, 0x9d, 0x40, 0x04}};

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
