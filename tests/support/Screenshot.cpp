#include "tests/support/Screenshot.h"

#include "ui/ButtonImage.h"
#include "ui/GdiplusApi.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
  GdiplusSession gdiplus;
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) != Ok || !image) return false;
  const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  const bool saved = GdipSaveImageToFile(image, path.c_str(), &pngEncoder, nullptr) == Ok;
  GdipDisposeImage(image);
  return saved;
}
