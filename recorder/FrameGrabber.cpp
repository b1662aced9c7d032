// Taking one frame of the recorded rectangle: screen copy, cursor, read-out.
#include <cstring>
#include <new>

#include "recorder/ScreenRecorder.h"
#include "recorder/VideoFormat.h"

void ScreenRecorder::CreateCaptureResources() {
  screenDC.reset(GetDC(nullptr));
  memoryDC.reset(CreateCompatibleDC(screenDC.get()));
  bitmap.reset(CreateCompatibleBitmap(screenDC.get(), region.width, region.height));
  SelectObject(memoryDC.get(), bitmap.get());

  bitmapInfo = BITMAPINFO{};
  BITMAPINFOHEADER& header = bitmapInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = region.width;
  header.biHeight = region.height;  // positive: bottom row first, as the encoder takes RGB32
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;

  frameBufferSize = FrameBufferBytes(region.width, region.height);
  if (frameBufferSize != 0) {
    // Zeroed, so that a first read-out that fails gives a black frame, not stale heap.
    frameBuffer.reset(new (std::nothrow) uint8_t[frameBufferSize]());
  }
  if (!frameBuffer) frameBufferSize = 0;
}

void ScreenRecorder::ReleaseCaptureResources() {
  frameBuffer.reset();
  frameBufferSize = 0;
  // The DC goes first: a bitmap still selected into a DC cannot be deleted.
  memoryDC.reset();
  bitmap.reset();
  screenDC.reset();
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

HRESULT ScreenRecorder::CaptureFrame(int64_t sampleTime) {
  if (!screenDC || !memoryDC || !bitmap || !frameBuffer) return E_FAIL;

  if (!BitBlt(memoryDC.get(), 0, 0, region.width, region.height, screenDC.get(), region.left, region.top, SRCCOPY)) {
    return E_FAIL;
  }
  DrawCursor(memoryDC.get(), region);
  // A failed read-out leaves the previous frame in the buffer, which is then
  // sent again with the new time: better than a hole in the video.
  GetDIBits(memoryDC.get(), bitmap.get(), 0, static_cast<UINT>(region.height), frameBuffer.get(), &bitmapInfo,
            DIB_RGB_COLORS);

  const uint8_t* frame = frameBuffer.get();
  const uint32_t size = frameBufferSize;
  return SubmitSample(
      videoStreamIndex, size, [frame, size](BYTE* target) { std::memcpy(target, frame, size); }, sampleTime,
      kVideoFrameDuration);
}
