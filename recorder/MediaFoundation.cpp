#include "recorder/MediaFoundation.h"

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

bool Load(MediaFoundationApi& api) {
  // From System32 only: where they are missing (the "N" editions) a file of
  // that name in the program's folder or the current folder would otherwise
  // be loaded in their place. Never unloaded: COM objects of theirs may live
  // until the process ends.
  HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HMODULE readWrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
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
