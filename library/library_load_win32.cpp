// The DLL's entry point: the record starts in its reset state in every process.
#include <windows.h>

#include "library_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) korvale::resetRecord();
  return TRUE;
}
