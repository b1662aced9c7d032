#include "recorder/ScreenGrabber.h"

#include <new>

ScreenGrabber::ScreenGrabber(const CaptureRegion& region, VideoSize video) : region_(region), video_(video) {
  screen_.reset(GetDC(nullptr));
  memory_.reset(CreateCompatibleDC(screen_.get()));
  bitmap_.reset(CreateCompatibleBitmap(screen_.get(), region.width, region.height));
  if (memory_ && bitmap_) SelectObject(memory_.get(), bitmap_.get());

  BITMAPINFOHEADER& header = info_.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = region.width;
  header.biHeight = region.height;  // positive: bottom row first, as the encoder takes RGB32
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;

  const uint32_t copyBytes = FrameBufferBytes(region.width, region.height);
  if (video_ == VideoSize{region.width, region.height} || copyBytes == 0) return;  // read straight into the frame
  copy_.reset(new (std::nothrow) uint8_t[copyBytes]);
  if (copy_) scaler_ = std::make_unique<FrameScaler>(region.width, region.height, video.width, video.height);
}

bool ScreenGrabber::Ready() const {
  const bool scaled = video_ != VideoSize{region_.width, region_.height};
  return screen_ && memory_ && bitmap_ && FrameBufferBytes(region_.width, region_.height) != 0 &&
         FrameBufferBytes(video_.width, video_.height) != 0 && (!scaled || scaler_);
}

namespace {

// Draws the pointer into the copy when its hot spot lies inside it. Only a
// plainly showing cursor is drawn; hidden and suppressed ones are left out.
void DrawCursor(HDC target, const CaptureRegion& region) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof(cursor);
  if (!GetCursorInfo(&cursor) || cursor.flags != CURSOR_SHOWING) return;

  const LONG x = cursor.ptScreenPos.x - region.left;
  const LONG y = cursor.ptScreenPos.y - region.top;
  if (x < 0 || x >= region.width || y < 0 || y >= region.height) return;

  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  // GetIconInfo hands out copies of the cursor's bitmaps; they are ours to delete.
  const unique_hbitmap mask(icon.hbmMask);
  const unique_hbitmap color(icon.hbmColor);

  DrawIconEx(target, x - static_cast<int>(icon.xHotspot), y - static_cast<int>(icon.yHotspot), cursor.hCursor, 0,
             0, 0, nullptr, DI_NORMAL);
}

}  // namespace

bool ScreenGrabber::Grab(uint8_t* frame) {
  if (!Ready() || !frame) return false;
  if (!BitBlt(memory_.get(), 0, 0, region_.width, region_.height, screen_.get(), region_.left, region_.top, SRCCOPY)) {
    return false;
  }
  DrawCursor(memory_.get(), region_);
  uint8_t* const copy = scaler_ ? copy_.get() : frame;
  if (GetDIBits(memory_.get(), bitmap_.get(), 0, static_cast<UINT>(region_.height), copy, &info_, DIB_RGB_COLORS) !=
      region_.height) {
    return false;
  }
  if (scaler_) scaler_->Scale(copy, frame);
  return true;
}
