// Loads an optional system DLL by name from the system folder or from the folder of the
// host program only, never from the current folder or PATH: a viewer's current folder is
// often the folder of the pictures it shows, where anyone may have put a DLL of that name.
#pragma once

#include <windows.h>

namespace quorvel {

// The module, or nullptr when the DLL is in neither folder. The caller owns one reference.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

}  // namespace quorvel
