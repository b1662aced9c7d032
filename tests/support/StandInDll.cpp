// mfreadwrite.dll stand-in, in place of Wine's own in the prefix's System32:
// the program's one call into the writer library makes a recording writer.
#include "tests/support/SinkWriterStandIn.h"

extern "C" HRESULT STDAPICALLTYPE StandInCreateSinkWriterFromURL(LPCWSTR url, IMFByteStream* stream,
                                                                 IMFAttributes* attributes, IMFSinkWriter** writer) {
  StandInReset(StandInOptionsFromEnvironment(url ? url : L""));
  return CreateStandInSinkWriter(url, stream, attributes, writer);
}
