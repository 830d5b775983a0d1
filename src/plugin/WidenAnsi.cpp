// WidenAnsi: two-pass MultiByteToWideChar with CP_ACP.
#include "plugin/WidenAnsi.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace quorvel {

std::wstring WidenAnsi(const char* text) {
  if (text == nullptr) return {};
  const std::size_t length = std::strlen(text);
  // MultiByteToWideChar counts in int; a longer name cannot be a path anyway.
  if (length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
  const int byteCount = static_cast<int>(length);
  const int wideCount = MultiByteToWideChar(CP_ACP, 0, text, byteCount, nullptr, 0);
  if (wideCount <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideCount), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, byteCount, wide.data(), wideCount) <= 0) return {};
  return wide;
}

}  // namespace quorvel
