#include "ui/ButtonImage.h"

#include <cstdint>

#include "common/Win32Handles.h"
#include "ui/GdiplusApi.h"
#include "ui/ImageBox.h"
#include "ui/Theme.h"
#include "ui/Window.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Opaque, in GDI+'s 0xAARRGGBB order (a COLORREF is 0x00BBGGRR).
constexpr ARGB kWindowColour = 0xFF000000u | (GetRValue(kWindowBackground) << 16) |
                               (GetGValue(kWindowBackground) << 8) | GetBValue(kWindowBackground);
constexpr int kCornerDiameter = 20;  // on the 48-pixel square

// Deletes a GDI+ object of one kind at scope end.
template <typename T, GpStatus(WINGDIPAPI* Delete)(T*)>
struct GdipOwner {
  T* object = nullptr;
  ~GdipOwner() {
    if (object) Delete(object);
  }
};

GpStatus WINGDIPAPI DisposeImage(GpBitmap* bitmap) { return GdipDisposeImage(bitmap); }
GpStatus WINGDIPAPI DeleteSolidFill(GpSolidFill* brush) { return GdipDeleteBrush(brush); }

// The PNG bytes of a resource in a stream that owns its memory.
ComPtr<IStream> ResourceStream(unsigned short resourceId) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"PNG");
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return nullptr;

  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return nullptr;
  void* target = GlobalLock(block);
  if (!target) {
    GlobalFree(block);
    return nullptr;
  }
  memcpy(target, bytes, size);
  GlobalUnlock(block);
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return nullptr;
  }
  return stream;
}

// Buttons show their bitmap without blending, and where the platform does not
// clip a button to its rounded region the fully transparent corners would
// show as black. They keep alpha 0 but take the window colour.
void TintTransparentPixels(HBITMAP bitmap) {
  DIBSECTION section{};
  if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) || !section.dsBm.bmBits ||
      section.dsBm.bmBitsPixel != 32) {
    return;
  }
  auto* pixels = static_cast<uint32_t*>(section.dsBm.bmBits);
  const size_t count = static_cast<size_t>(section.dsBm.bmWidth) * static_cast<size_t>(section.dsBm.bmHeight);
  for (size_t i = 0; i < count; ++i) {
    if ((pixels[i] >> 24) == 0) pixels[i] = kWindowColour & 0x00FFFFFF;
  }
  GdiFlush();
}

}  // namespace

GdiplusSession::GdiplusSession() {
  GdiplusStartupInput input;
  GdiplusStartup(&token_, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
  if (token_) GdiplusShutdown(token_);
}

HBITMAP LoadButtonImage(unsigned short resourceId, float opacity, int size) {
  GdipOwner<GpBitmap, DisposeImage> image;
  {
    ComPtr<IStream> stream = ResourceStream(resourceId);
    if (!stream || GdipCreateBitmapFromStream(stream.Get(), &image.object) != Ok || !image.object) return nullptr;
  }

  GdipOwner<GpBitmap, DisposeImage> canvas;
  GdipCreateBitmapFromScan0(size, size, 0, PixelFormat32bppARGB, nullptr, &canvas.object);
  if (!canvas.object) return nullptr;
  GdipOwner<GpGraphics, GdipDeleteGraphics> graphics;
  GdipGetImageGraphicsContext(canvas.object, &graphics.object);
  if (!graphics.object) return nullptr;
  GdipSetSmoothingMode(graphics.object, SmoothingModeHighQuality);
  GdipSetInterpolationMode(graphics.object, InterpolationModeHighQualityBicubic);

  // The rounded square in the window colour; outside it stays transparent.
  {
    GdipOwner<GpPath, GdipDeletePath> path;
    GdipCreatePath(FillModeAlternate, &path.object);
    const auto corner = static_cast<REAL>((kCornerDiameter * size + kButtonImageSize / 2) / kButtonImageSize);
    const REAL farCorner = static_cast<REAL>(size) - corner;
    GdipAddPathArc(path.object, 0, 0, corner, corner, 180, 90);
    GdipAddPathArc(path.object, farCorner, 0, corner, corner, 270, 90);
    GdipAddPathArc(path.object, farCorner, farCorner, corner, corner, 0, 90);
    GdipAddPathArc(path.object, 0, farCorner, corner, corner, 90, 90);
    GdipClosePathFigure(path.object);
    GdipOwner<GpSolidFill, DeleteSolidFill> brush;
    GdipCreateSolidFill(kWindowColour, &brush.object);
    GdipFillPath(graphics.object, brush.object, path.object);
  }

  UINT width = 0, height = 0;
  GdipGetImageWidth(image.object, &width);
  GdipGetImageHeight(image.object, &height);
  const ImageBox box = FitImageBox(static_cast<int>(width), static_cast<int>(height), size);
  if (opacity < 1.0f) {
    ColorMatrix matrix = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
    GdipOwner<GpImageAttributes, GdipDisposeImageAttributes> attributes;
    GdipCreateImageAttributes(&attributes.object);
    GdipSetImageAttributesColorMatrix(attributes.object, ColorAdjustTypeDefault, TRUE, &matrix, nullptr,
                                      ColorMatrixFlagsDefault);
    GdipDrawImageRectRectI(graphics.object, image.object, box.x, box.y, box.width, box.height, 0, 0,
                           static_cast<INT>(width), static_cast<INT>(height), UnitPixel, attributes.object, nullptr,
                           nullptr);
  } else {
    GdipDrawImageRectI(graphics.object, image.object, box.x, box.y, box.width, box.height);
  }

  HBITMAP bitmap = nullptr;
  GdipCreateHBITMAPFromBitmap(canvas.object, &bitmap, 0);
  if (bitmap) TintTransparentPixels(bitmap);
  return bitmap;
}

void PaintOwnerButton(const DRAWITEMSTRUCT& item) {
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool isDefault = (item.itemState & ODS_DEFAULT) != 0;
  HDC dc = item.hDC;
  RECT area = item.rcItem;
  {
    unique_hbrush face(CreateSolidBrush(pressed ? kButtonFacePressed : kButtonFace));
    FillRect(dc, &area, face.get());
  }
  {
    unique_hpen border(CreatePen(PS_SOLID, 1, isDefault ? kButtonBorderDefault : kButtonBorder));
    SelectObjectScope pen(dc, border.get());
    SelectObjectScope brush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, area.left, area.top, area.right - 1, area.bottom - 1);
  }
  wchar_t text[128] = {};
  GetWindowTextW(item.hwndItem, text, 128);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kButtonText);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  if (font) {
    SelectObjectScope selected(dc, font);
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else {
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  // The keyboard's focus, where the user can see it.
  if (item.itemState & ODS_FOCUS) {
    RECT inner = area;
    const int inset = ScaleForDpi(3, static_cast<int>(DpiOf(item.hwndItem)));
    InflateRect(&inner, -inset, -inset);
    DrawFocusRect(dc, &inner);
  }
}
