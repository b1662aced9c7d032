#include "tests/support/Screenshot.h"

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
  ULONG_PTR token = 0;
  GdiplusStartupInput input;
  if (GdiplusStartup(&token, &input, nullptr) != Ok) return false;
  bool saved = false;
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Ok && image) {
    const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    saved = GdipSaveImageToFile(image, path.c_str(), &pngEncoder, nullptr) == Ok;
    GdipDisposeImage(image);
  }
  GdiplusShutdown(token);
  return saved;
}
