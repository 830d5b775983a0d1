// Storage of the module handle. Written once while the loader lock is held, before any
// export can run, so plain storage is enough.
#include "plugin/ModuleHandle.h"

namespace quorvel {
namespace {
HINSTANCE gModule = nullptr;
}

void StoreModuleHandle(HINSTANCE module) noexcept { gModule = module; }

// Unit-test programs link the core without a DllMain: fall back to the program itself.
HINSTANCE ModuleHandle() noexcept { return gModule ? gModule : GetModuleHandleW(nullptr); }

}  // namespace quorvel
