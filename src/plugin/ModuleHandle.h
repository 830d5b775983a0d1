// The library's own instance handle, stored once at load and used to find resources.
#pragma once

#include <windows.h>

namespace quorvel {

void StoreModuleHandle(HINSTANCE module) noexcept;
HINSTANCE ModuleHandle() noexcept;

}  // namespace quorvel
