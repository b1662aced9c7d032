// The webcam overlay with cameras of our own (test_camera.dll beside this
// program): the picture shown, moved, recorded and closed, and cameras that
// will not run or are lost while shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/StatusText.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "tests/e2e/EndToEnd.h"
#include "ui/WindowGeometry.h"
#include "webcam/WebcamOverlay.h"

namespace {

constexpr wchar_t kCameraKey[] = L"Software\\Quillomat Test Camera";

// The two test cameras, registered as video input devices while this lives.
// What they are told to do and what happened to them is under kCameraKey.
class TestCameras {
 public:
  TestCameras() { EXPECT_EQ(Call("DllRegisterServer"), S_OK); }
  ~TestCameras() { EXPECT_EQ(Call("DllUnregisterServer"), S_OK); }
  static void Set(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kCameraKey, name, REG_DWORD, &value, sizeof(value));
  }
  static DWORD Get(const wchar_t* name) {
    DWORD value = 0, size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, kCameraKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
  }
  static HRESULT Call(const char* function) {
    HMODULE dll = LoadLibraryW(L"test_camera.dll");  // beside this program
    void* call = dll ? reinterpret_cast<void*>(GetProcAddress(dll, function)) : nullptr;
    return call ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(call)() : E_FAIL;
  }
};

// What the overlay's 208 x 158 pixels show, `pixel(x, y)` from its top-left:
// camera 1's or 2's test picture (its left half magenta or yellow, dark blue
// right of it with a white bar) filling the 200 x 150 area inside a 4-pixel
// frame, where the bar is, and otherwise what is wrong.
struct Sight {
  int camera = 0, bar = -1;
  std::string fault;
};
template <typename Pixel>
Sight Look(Pixel pixel) {
  Sight sight;
  for (int y = 0; y < kWebcamHeight; ++y) {
    for (int x = 0; x < kWebcamWidth; ++x) {
      const uint32_t c = pixel(x, y);
      const int camera = c == 0xff00ff ? 1 : c == 0xffff00 ? 2 : 0;
      const bool frame = x < 4 || y < 4 || x >= kWebcamWidth - 4 || y >= kWebcamHeight - 4, left = x < 104;
      if (!frame && left && sight.camera == 0) sight.camera = camera;
      if (!frame && !left && c == 0xffffff && sight.bar < 0) sight.bar = x;
      if (frame ? c == 0x141414 : left ? camera && camera == sight.camera : c == 0x000080 || c == 0xffffff) continue;
      sight.fault = "colour " + std::to_string(c) + " at " + std::to_string(x) + ", " + std::to_string(y);
      return sight;
    }
  }
  return sight;
}
Sight LookAtScreen(HWND overlay) {
  const std::vector<uint32_t> pixels = ScreenPixels(WindowRect(overlay));
  return Look([&](int x, int y) { return pixels[static_cast<size_t>(y) * kWebcamWidth + x]; });
}

POINT TopLeft(HWND window) { return {WindowRect(window).left, WindowRect(window).top}; }

}  // namespace

// The first of two cameras, at the default corner, moving; dragged by its
// frame; in a full-screen recording at each place it was, and after a corner
// applied during it; in no region that does not meet it; and stopped and
// released when the program ends.
TEST_F(EndToEndTest, WebcamShowsTheFirstCamerasPictureInTheRecording) {
  TestCameras cameras;
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  SetFolder(main_, dir.path());
  ClickOn(GetDlgItem(main_, IDC_WEBCAM));
  HWND overlay = program_->FindWindowOfClass(kWebcamOverlayClass, 5000);
  ASSERT_NE(overlay, nullptr);
  const POINT corner = TopLeft(overlay);
  Sight first;
  ASSERT_TRUE(WaitFor([&] { return (first = LookAtScreen(overlay)).fault.empty(); })) << first.fault;
  EXPECT_EQ(first.camera, 1);
  EXPECT_TRUE(SaveScreenshot({0, 0, 400, 260}, L"webcam-overlay"));
  EXPECT_TRUE(WaitFor([&] { return LookAtScreen(overlay).bar != first.bar; })) << "the picture stands still";

  // The frame drags the window.
  Drag({corner.x + 1, corner.y + 80}, {corner.x + 301, corner.y + 380});
  ASSERT_TRUE(WaitFor([&] { return TopLeft(overlay).x == corner.x + 300; }));
  EXPECT_EQ(TopLeft(overlay).y, corner.y + 300);

  // Full screen; "Bottom-Right" applied half-way.
  ASSERT_TRUE(StartRecording(main_));
  Sleep(1000);
  PostMessageW(main_, WM_COMMAND, IDM_SETTINGS, 0);
  HWND settings = program_->FindWindowOfClass(kSettingsClass, 5000);
  ASSERT_NE(settings, nullptr);
  SendDlgItemMessageW(settings, kWebcamListId, CB_SETCURSEL, 3, 0);
  ClickOn(GetDlgItem(settings, kApplyButtonId));
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  const POINT places[] = {{corner.x + 300, corner.y + 300}, {width - 228, height - 178}};
  ASSERT_TRUE(WaitFor([&] { return TopLeft(overlay).x == places[1].x && TopLeft(overlay).y == places[1].y; }));
  Sleep(300);  // the picture drawn again where the settings window was
  EXPECT_TRUE(SaveScreenshot({width - 400, height - 260, width, height}, L"webcam-overlay-bottom-right"));
  Sleep(1000);
  ASSERT_TRUE(StopRecording(main_));
  std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  ASSERT_TRUE(ReadRecording(file).finalized);
  // Each frame shows the picture at one place, the first and then the
  // second (a frame or two may catch the move), and it changes.
  int place = 0, changes = 0, lastBar = -1, seen[2] = {};
  ForEachRawFrame(file, width, height, [&](const std::vector<uint8_t>& frame) {
    for (int i = place; i < 2; ++i) {
      const Sight sight =
          Look([&](int x, int y) { return FramePixel(frame, width, height, places[i].x + x, places[i].y + y); });
      if (!sight.fault.empty()) continue;
      EXPECT_EQ(sight.camera, 1);
      ++seen[place = i];
      changes += sight.bar != lastBar;
      lastBar = sight.bar;
      break;
    }
  });
  EXPECT_GE(seen[0], 3);
  EXPECT_GE(seen[1], 3) << "the recording followed the overlay";
  EXPECT_GT(changes, (seen[0] + seen[1]) / 4) << "the recorded picture stands still";
  DeleteMatching(dir.path(), L"Quillomat_*");

  // A region that ends where the overlay begins holds nothing of it.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  HWND selector = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(selector, nullptr);
  Sleep(200);
  Drag({places[1].x - 400, places[1].y - 90}, {places[1].x, places[1].y + 110});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(selector); }));
  const WrittenRecording region = RecordInto(main_, dir.path(), 1000);
  ASSERT_TRUE(region.finalized);
  file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  int cameraPixels = 0;
  const size_t frames = ForEachRawFrame(file, region.width, region.height, [&](const std::vector<uint8_t>& frame) {
    for (size_t i = 0; i < frame.size(); i += 4) {
      const uint32_t c = frame[i] | frame[i + 1] << 8 | frame[i + 2] << 16;
      cameraPixels += c == 0x141414 || c == 0xff00ff || c == 0x000080;
    }
  });
  EXPECT_EQ(region.width, 400);
  EXPECT_EQ(cameraPixels, 0);
  EXPECT_EQ(frames, region.video.size());

  // Ending the program stops the camera and lets it go; the second camera
  // was never made.
  EXPECT_TRUE(CloseNormally(main_, *program_));
  EXPECT_EQ(TestCameras::Get(L"Stops"), 1u);
  EXPECT_EQ(TestCameras::Get(L"Releases"), 1u);
}

// No camera, a camera another program holds, and one unplugged while shown
// during a recording; the program closed while the box says so.
TEST_F(EndToEndTest, WebcamThatFailsSaysSoAndTheRecordingGoesOn) {
  ASSERT_NO_FATAL_FAILURE(Start());
  HWND button = GetDlgItem(main_, IDC_WEBCAM);
  const LRESULT offPicture = SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0);
  const std::wstring offName = TextOf(button);
  auto refused = [&] {
    ClickOn(button);
    HWND box = program_->FindWindowOfClass(L"#32770", 10000, kWebcamFailureCaption);
    if (!box) return false;
    ClickOn(GetDlgItem(box, IDOK));
    return WaitFor([&] { return !IsWindow(box); }) && !program_->FindWindowOfClass(kWebcamOverlayClass, 0) &&
           TextOf(button) == offName;
  };
  EXPECT_TRUE(refused()) << "no camera";
  {
    TestCameras cameras;
    TestCameras::Set(L"Refuse", 1);
    EXPECT_TRUE(refused()) << "a camera that will not run";
    EXPECT_EQ(TestCameras::Get(L"Releases"), 1u);

    TestCameras::Set(L"Refuse", 0);
    TestCameras::Set(L"LoseAfter", 45);
    TempDir dir;
    SetFolder(main_, dir.path());
    ASSERT_TRUE(StartRecording(main_));
    ClickOn(button);
    HWND overlay = program_->FindWindowOfClass(kWebcamOverlayClass, 5000);
    ASSERT_NE(overlay, nullptr);
    EXPECT_NE(TextOf(button), offName);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }, 10000)) << "the lost camera's picture stays";
    auto saysLost = [](const std::wstring& text) { return IsRecordingStatus(text, kStatusWebcamLost); };
    EXPECT_TRUE(WaitForText(StatusLine(main_), saysLost)) << Narrow(TextOf(StatusLine(main_)));
    EXPECT_EQ(TextOf(button), offName);
    EXPECT_EQ(SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0), offPicture);
    EXPECT_EQ(program_->FindWindowOfClass(L"#32770", 0), nullptr) << "no box";
    Sleep(1000);
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), std::wstring(kStatusReady) + kStatusWebcamLost, 15000));
    EXPECT_TRUE(ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")).finalized);

    // Switched on again, the word goes.
    TestCameras::Set(L"LoseAfter", 0);
    ClickOn(button);
    EXPECT_NE(program_->FindWindowOfClass(kWebcamOverlayClass, 5000), nullptr);
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), kStatusReady));

    // The program closed while the box says the camera will not run: both go.
    ClickOn(button);
    TestCameras::Set(L"Refuse", 1);
    ClickOn(button);
    ASSERT_NE(program_->FindWindowOfClass(L"#32770", 10000, kWebcamFailureCaption), nullptr);
    PostMessageW(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(program_->WaitForExit(), 0u);
  }
}
