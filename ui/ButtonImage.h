#pragma once
// Button pictures built from the program's PNG resources, and the painter of
// the flat dark text buttons.
#include <windows.h>

// A `size` x `size` 32-bit bitmap (48 at 100 %): a rounded square in the
// window colour with the PNG resource drawn into its middle at that size
// (sharp at every display scale: the artwork is larger than any), its alpha
// multiplied by opacity. Null when the resource is missing or cannot be
// decoded. Needs GDI+.
HBITMAP LoadButtonImage(unsigned short resourceId, float opacity, int size = 48);

// Paints one owner-drawn text button for WM_DRAWITEM.
void PaintOwnerButton(const DRAWITEMSTRUCT& item);

// GDI+ for the life of the process (or of a test).
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

inline constexpr float kDimmedOpacity = 0.3f;
