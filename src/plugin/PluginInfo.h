// The plug-in's information strings by index, copied into the host's buffer in wide or
// ANSI characters, and the texts of the about box.
#pragma once

#include <windows.h>

namespace quorvel {

#if defined(_WIN64)
inline constexpr const wchar_t* kPluginFileName = L"Quorvel.sph";
#else
inline constexpr const wchar_t* kPluginFileName = L"Quorvel.spi";
#endif

// The text for index, or null for none.
const wchar_t* PluginInfoText(int index) noexcept;

// Characters copied, not counting the terminating zero that always follows them.
int CopyPluginInfoW(int index, wchar_t* buffer, int length) noexcept;
// Bytes copied after conversion with the system ANSI code page. Throws std::bad_alloc.
int CopyPluginInfoA(int index, char* buffer, int length);

}  // namespace quorvel
