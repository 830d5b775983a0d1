// The load-time entry: stores the module handle and creates the format table's lock.
// Objects built on first use are destroyed by the runtime's exit handlers at unload.
#include <windows.h>

#include "decode/PixelFormatTable.h"
#include "plugin/ModuleHandle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    quorvel::StoreModuleHandle(instance);
    quorvel::InitialisePixelFormatTable();
  }
  return TRUE;
}
