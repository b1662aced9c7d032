#include "recorder/MediaFoundation.h"

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

bool Load(MediaFoundationApi& api) {
  // By the usual search, as the loader found them before (a test puts its
  // writer beside the program), and never unloaded: COM objects of theirs
  // may live until the process ends.
  HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, 0);
  HMODULE readWrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, 0);
  return plat && readWrite && Resolve(plat, "MFStartup", api.Startup) && Resolve(plat, "MFShutdown", api.Shutdown) &&
         Resolve(plat, "MFCreateAttributes", api.CreateAttributes) &&
         Resolve(plat, "MFCreateMediaType", api.CreateMediaType) &&
         Resolve(plat, "MFCreateMemoryBuffer", api.CreateMemoryBuffer) &&
         Resolve(plat, "MFCreateSample", api.CreateSample) &&
         Resolve(readWrite, "MFCreateSinkWriterFromURL", api.CreateSinkWriterFromURL);
}

}  // namespace

const MediaFoundationApi* MediaFoundation() {
  static MediaFoundationApi api{};
  static const bool loaded = Load(api);
  return loaded ? &api : nullptr;
}
