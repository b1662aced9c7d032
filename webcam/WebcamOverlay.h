#pragma once
// The first camera's live picture in a small top-most window in a corner of
// the screen. DirectShow draws it; the program never touches camera frames.
// The recording picks it up like anything else on the screen.
#include <windows.h>
#include <dshow.h>

#include <optional>

#include "common/Win32Handles.h"

inline constexpr wchar_t kWebcamOverlayClass[] = L"WebcamOverlayWnd";
inline constexpr wchar_t kWebcamFailureText[] =
    L"Unable to open webcam.\nPlease check camera access in\nWindows Settings \u2192 Privacy \u2192 Camera.";
inline constexpr wchar_t kWebcamFailureCaption[] = L"Webcam";

class WebcamOverlay {
 public:
  // The one overlay of the process; closed again when the process exits.
  static WebcamOverlay& Instance();

  // True when the camera picture is shown; when already open, only moves it.
  // A camera lost while shown closes the overlay and posts WM_WEBCAM_LOST to
  // `lossListener`.
  bool Open(int position, HWND lossListener = nullptr);
  // Moves the overlay to its corner; nothing while there is no window.
  void Reposition(int position);
  // Stops the camera and removes the window; harmless when closed.
  void Close();
  bool IsActive() const { return active_; }

  HWND window() const { return window_; }
  // Makes the overlay window without a camera (what Open does first).
  bool CreateOverlayWindow();
  // The graph's events, which it announces to the overlay window.
  void OnGraphEvents();
  // The picture inside the frame, at a display scale.
  void PlaceVideo(UINT dpi);

 private:
  WebcamOverlay() = default;
  HRESULT BuildPreviewGraph();
  HRESULT RunPreviewGraph();

  // This thread's apartment while the camera may run: the engine's normally,
  // which this only counts once more, and gives back on Close.
  std::optional<ComApartment> com_;
  HWND window_ = nullptr;
  bool active_ = false;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<ICaptureGraphBuilder2> captureBuilder_;
  ComPtr<IBaseFilter> cameraFilter_;
  ComPtr<IMediaControl> mediaControl_;
  ComPtr<IVideoWindow> videoWindow_;
  ComPtr<IMediaEventEx> events_;
  HWND lossListener_ = nullptr;
};
