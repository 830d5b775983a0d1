// Conversion of the ANSI exports' file names to the wide strings used inside.
#pragma once

#include <string>

namespace quorvel {

// The text converted with the system ANSI code page; a null, empty or unconvertible
// text gives an empty string. Throws std::bad_alloc when memory runs out.
std::wstring WidenAnsi(const char* text);

}  // namespace quorvel
