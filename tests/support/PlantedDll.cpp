// A DLL that the program must never load: planted beside it, or in the
// folder it is started in, under the name of a system DLL. Loaded, it leaves
// a mark beside itself (its own path and ".loaded") and refuses to stay.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH + 8] = {};
  const DWORD length = GetModuleFileNameW(self, mark, MAX_PATH);
  lstrcpyW(mark + length, L".loaded");
  const HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return FALSE;
}
