// The load-time entry: stores the module handle and creates the format table's lock.
// Objects built on first use are destroyed by the runtime's exit handlers at unload.
#include <windows.h>

#include "decode/PixelFormatTable.h"
#include "plugin/ModuleHandle.h"

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres();  // libstdc++'s own: frees the emergency exception arena
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    quorvel::StoreModuleHandle(instance);
    quorvel::InitialisePixelFormatTable();
#if defined(__GNUC__) && defined(__i386__)
    // The 32-bit compiler runtime registers its unwind tables through the POSIX thread
    // layer, which takes a TLS slot and two handles on every load and gives none back:
    // a host that unloads and reloads plug-ins would run out of TLS slots after about a
    // thousand reloads. Kept loaded until the process ends, the plug-in costs them once.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&DllMain), &pinned);
#endif
  }
#if defined(__GLIBCXX__)
  // The statically linked C++ runtime allocates a 73 KB arena for exceptions thrown when
  // memory runs out and never frees it: a host that unloads and reloads the plug-in would
  // lose that much each time. Nothing of ours throws after this (the runtime's exit
  // handlers that follow destroy objects only). At process exit (reserved set) the
  // system reclaims everything anyway.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) __gnu_cxx::__freeres();
#endif
  return TRUE;
}
