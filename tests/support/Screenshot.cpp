#include "tests/support/Screenshot.h"

#include "common/Win32Handles.h"

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

bool SaveScreenshot(const RECT& area, const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QM_SCREENSHOT_DIR", folder, MAX_PATH) == 0) return true;
  // Only what is on the screen: Wine copies nothing of a partly outside source.
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, visible;
  if (!IntersectRect(&visible, &area, &screen)) return false;
  const int width = visible.right - visible.left, height = visible.bottom - visible.top;
  unique_screen_dc screenDc(GetDC(nullptr));
  unique_hdc dc(CreateCompatibleDC(screenDc.get()));
  unique_hbitmap shot(CreateCompatibleBitmap(screenDc.get(), width, height));
  {
    SelectObjectScope select(dc.get(), shot.get());
    BitBlt(dc.get(), 0, 0, width, height, screenDc.get(), visible.left, visible.top, SRCCOPY);
  }
  CreateDirectoryW(folder, nullptr);
  return SavePng(shot.get(), std::wstring(folder) + L"\\" + name + L".png");
}
