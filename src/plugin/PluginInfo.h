// The plug-in's information strings by index, copied into the host's buffer in wide or
// ANSI characters, and the texts of the about box.
#pragma once

#include <windows.h>

#include "ProductIdentity.h"

namespace quorvel {

inline constexpr const wchar_t* kPluginFileName = L"" QUORVEL_FILE_NAME;

// The text for index, or null for none.
const wchar_t* PluginInfoText(int index) noexcept;

// Characters copied, not counting the terminating zero that always follows them.
int CopyPluginInfoW(int index, wchar_t* buffer, int length) noexcept;
// Bytes copied after conversion with the system ANSI code page. Throws std::bad_alloc.
int CopyPluginInfoA(int index, char* buffer, int length);

}  // namespace quorvel
