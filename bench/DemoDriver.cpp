// The headless demonstration behind `make run`: puts a lively scene on the
// virtual screen, starts the program beside the writer stand-in, presses its
// record button with the real pointer, records for a few seconds while the
// pointer wanders, stops, and prints the path of the recording.
//
//   demo_driver.exe SECONDS OUTPUT_FOLDER
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/ScreenFixtures.h"

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "demo: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Fail("usage: demo_driver SECONDS OUTPUT_FOLDER");
  const int seconds = _wtoi(argv[1]);
  const std::wstring folder = argv[2];
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);

  LiveScene scene(width - LiveScene::kWidth - 60, height / 2 - LiveScene::kHeight / 2);
  Program program;
  HWND main = program.FindWindowOfClass(L"QUILLOMAT", 20000);
  if (!main) return Fail("the program's window did not appear");
  PumpMessages(500);
  SendMessageW(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));

  HWND status = GetDlgItem(main, IDC_STATUS);
  ClickOn(GetDlgItem(main, IDC_RECORD));
  if (!WaitForText(status, [](const std::wstring& text) { return text.rfind(kStatusRecordingPrefix, 0) == 0; })) return Fail("the recording did not start");
  const DWORD start = GetTickCount();
  bool shot = false;
  // The pointer circles the middle of the screen, so the drawn cursor moves.
  for (int step = 0; GetTickCount() - start < static_cast<DWORD>(seconds) * 1000; ++step) {
    const double angle = step * 0.25;
    MovePointer(width / 2 + static_cast<int>(std::cos(angle) * height / 4),
                height / 2 + static_cast<int>(std::sin(angle) * height / 4));
    if (!shot && GetTickCount() - start > static_cast<DWORD>(seconds) * 500) {
      SaveScreenshot({0, 0, width, height}, L"screen-while-recording");
      shot = true;
    }
    Sleep(30);
  }
  ClickOn(GetDlgItem(main, IDC_RECORD));
  if (!WaitForTextEqual(status, kStatusReady, 15000)) return Fail("the recording did not stop");
  PostMessageW(main, WM_CLOSE, 0, 0);
  if (program.WaitForExit() != 0) return Fail("the program did not end cleanly");

  const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
  if (file.empty()) return Fail("no recording was made");
  std::printf("%ls\n", file.c_str());
  return 0;
}
