// A stand-in installer for the update tests: it only leaves a mark that it
// ran, in the temporary folder, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, path);
  lstrcatW(path, L"quillomat-installer-ran.txt");
  CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return 0;
}
