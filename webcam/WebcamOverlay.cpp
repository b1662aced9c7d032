#include "webcam/WebcamOverlay.h"

#include <shellscalingapi.h>

#include <cstdlib>

#include "common/HResult.h"
#include "common/Messages.h"
#include "ui/Theme.h"
#include "ui/Window.h"
#include "ui/WindowGeometry.h"

namespace {

constexpr int kVideoInset = 4;  // at 96 DPI, like the sizes
constexpr int kVideoWidth = 200, kVideoHeight = 150;
// The graph's word that it has events, to the overlay window (whose class
// is the program's own, so WM_USER + n is private to it).
constexpr UINT kGraphEventMessage = WM_USER + 1;
// How long a graph that is still on its way to running is waited for.
constexpr DWORD kRunWaitMs = 3000;

LRESULT CALLBACK WebcamOverlayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kGraphEventMessage:
      WebcamOverlay::Instance().OnGraphEvents();
      return 0;
    case WM_DPICHANGED:
      // Dragged onto a monitor of another scale.
      TakeSuggestedRect(window, lParam);
      WebcamOverlay::Instance().PlaceVideo(HIWORD(wParam));
      return 0;
    case WM_ERASEBKGND:
      return EraseWith(window, reinterpret_cast<HDC>(wParam), unique_hbrush(CreateSolidBrush(kWebcamFrame)).get());
    case WM_NCHITTEST:
      return HTCAPTION;  // the frame around the picture drags the window
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

WebcamOverlay& WebcamOverlay::Instance() {
  static WebcamOverlay overlay;
  static const bool closeAtExit = [] {
    return std::atexit([] { WebcamOverlay::Instance().Close(); }) == 0;
  }();
  (void)closeAtExit;
  return overlay;
}

bool WebcamOverlay::CreateOverlayWindow() {
  WindowClass windowClass{kWebcamOverlayClass, WebcamOverlayProc, CS_HREDRAW | CS_VREDRAW};
  windowClass.background = [] { return CreateSolidBrush(kWebcamFrame); };
  RegisterWindowClass(windowClass);
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWebcamOverlayClass, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                            kWebcamWidth, kWebcamHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return window_ != nullptr;
}

HRESULT WebcamOverlay::BuildPreviewGraph() {
  RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)));
  RETURN_IF_FAILED(
      CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&captureBuilder_)));
  captureBuilder_->SetFiltergraph(graph_.Get());

  ComPtr<IEnumMoniker> cameras;
  {
    ComPtr<ICreateDevEnum> devices;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices)));
    // S_FALSE and no enumerator: no camera is installed.
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &cameras, 0) != S_OK || !cameras) {
      return E_FAIL;
    }
  }
  ComPtr<IMoniker> first;
  if (cameras->Next(1, &first, nullptr) != S_OK || !first) return E_FAIL;
  RETURN_IF_FAILED(first->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&cameraFilter_)));
  if (!cameraFilter_) return E_FAIL;
  graph_->AddFilter(cameraFilter_.Get(), L"Webcam");

  if (FAILED(captureBuilder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cameraFilter_.Get(), nullptr,
                                           nullptr))) {
    RETURN_IF_FAILED(captureBuilder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cameraFilter_.Get(),
                                                   nullptr, nullptr));
  }

  RETURN_IF_FAILED(graph_->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(videoWindow_.GetAddressOf())));
  videoWindow_->put_Owner(reinterpret_cast<OAHWND>(window_));
  videoWindow_->put_WindowStyle(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
  PlaceVideo(DpiOf(window_));

  RETURN_IF_FAILED(graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events_.GetAddressOf())));
  events_->SetNotifyWindow(reinterpret_cast<OAHWND>(window_), kGraphEventMessage, 0);
  RETURN_IF_FAILED(graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(mediaControl_.GetAddressOf())));
  return RunPreviewGraph();
}

// A camera that another program holds fails to run, or gets no further than
// paused: that is a camera that cannot be opened, not an empty frame on the
// screen and in every recording.
HRESULT WebcamOverlay::RunPreviewGraph() {
  const HRESULT run = mediaControl_->Run();
  RETURN_IF_FAILED(run);
  OAFilterState state = State_Stopped;
  const HRESULT settled = mediaControl_->GetState(run == S_FALSE ? kRunWaitMs : 0, &state);
  RETURN_IF_FAILED(settled);
  // A camera still starting after the wait is given its chance: should it
  // fail, the graph says so with an event.
  if (settled != VFW_S_STATE_INTERMEDIATE && state != State_Running) return VFW_E_NOT_RUNNING;
  return S_OK;
}

void WebcamOverlay::OnGraphEvents() {
  bool lost = false;
  long code = 0;
  LONG_PTR first = 0, second = 0;
  while (events_ && events_->GetEvent(&code, &first, &second, 0) == S_OK) {
    // A device that comes back (EC_DEVICE_LOST with 1) does not restart the
    // graph; its loss has been handled already.
    lost = lost || code == EC_ERRORABORT || code == EC_ERRORABORTEX || (code == EC_DEVICE_LOST && second == 0);
    events_->FreeEventParams(code, first, second);
  }
  if (!lost) return;
  const HWND listener = lossListener_;
  Close();
  if (listener) PostMessageW(listener, WM_WEBCAM_LOST, 0, 0);
}

bool WebcamOverlay::Open(int position, HWND lossListener) {
  if (active_) {
    Reposition(position);
    return true;
  }
  lossListener_ = lossListener;
  if (!com_) com_.emplace(COINIT_APARTMENTTHREADED);
  if (!CreateOverlayWindow()) {
    com_.reset();
    return false;
  }
  if (FAILED(BuildPreviewGraph())) {
    Close();
    MessageBoxW(nullptr, kWebcamFailureText, kWebcamFailureCaption, MB_OK | MB_ICONWARNING);
    return false;
  }
  Reposition(position);
  active_ = true;
  return true;
}

void WebcamOverlay::Reposition(int position) {
  if (!window_) return;
  // Sized for the scale of the primary monitor, whose corner it goes to
  // (wherever the user has dragged it meanwhile).
  UINT dpiX = 0, dpiY = 0;
  if (FAILED(GetDpiForMonitor(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), MDT_EFFECTIVE_DPI, &dpiX, &dpiY))) {
    dpiX = GetDpiForSystem();
  }
  const int dpi = static_cast<int>(dpiX);
  const PixelPoint at = WebcamCorner(position, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), dpi);
  // Twice: coming from a monitor of another scale, the first move is
  // answered with a rectangle scaled for the old one.
  for (int i = 0; i < 2; ++i) {
    SetWindowPos(window_, HWND_TOPMOST, at.x, at.y, ScaleForDpi(kWebcamWidth, dpi), ScaleForDpi(kWebcamHeight, dpi),
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  PlaceVideo(dpiX);
}

void WebcamOverlay::PlaceVideo(UINT dpi) {
  if (!videoWindow_) return;
  const int d = static_cast<int>(dpi);
  const int inset = ScaleForDpi(kVideoInset, d);
  videoWindow_->SetWindowPosition(inset, inset, ScaleForDpi(kVideoWidth, d), ScaleForDpi(kVideoHeight, d));
}

void WebcamOverlay::Close() {
  if (mediaControl_) {
    mediaControl_->Stop();
    mediaControl_.Reset();
  }
  if (events_) {
    events_->SetNotifyWindow(0, 0, 0);
    events_.Reset();
  }
  if (videoWindow_) {
    videoWindow_->put_Visible(OAFALSE);
    videoWindow_->put_Owner(0);
    videoWindow_.Reset();
  }
  cameraFilter_.Reset();
  captureBuilder_.Reset();
  graph_.Reset();
  if (window_) {
    DestroyWindow(window_);
    window_ = nullptr;
  }
  active_ = false;
  com_.reset();  // last: the graph's objects are gone
}
