// mfreadwrite.dll stand-in: placed beside the unmodified program and loaded
// with WINEDLLOVERRIDES=mfreadwrite=n,b, it answers the program's one call
// into the platform's writer library with a recording writer.
#include "tests/support/SinkWriterStandIn.h"

extern "C" HRESULT STDAPICALLTYPE StandInCreateSinkWriterFromURL(LPCWSTR url, IMFByteStream* byteStream,
                                                                 IMFAttributes* attributes,
                                                                 IMFSinkWriter** sinkWriter) {
  StandInConfigure(StandInOptionsFromEnvironment(url ? url : L""));
  return CreateStandInSinkWriter(url, byteStream, attributes, sinkWriter);
}
