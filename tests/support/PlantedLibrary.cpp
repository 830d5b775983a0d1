// A DLL that does nothing, planted by the tests where a search must not find it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
