// The information-string table and its truncating copies.
#include "plugin/PluginInfo.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "ProductIdentity.h"

namespace quorvel {
namespace {

constexpr const wchar_t* kVersionText = L"" QUORVEL_ABOUT_TEXT;

// Index 2 + 2k is the pattern and 3 + 2k the name of supported type k; only the first
// is filled, so a host's enumeration of types ends after it.
constexpr const wchar_t* kPatterns[4] = {L"*.TIF;*.TIFF", nullptr, nullptr, nullptr};
constexpr const wchar_t* kTypeNames[4] = {L"TIFF - Tagged Image File Format (*.tif,*.tiff)", nullptr, nullptr, nullptr};

template <class Char>
int CopyTruncated(const Char* text, std::size_t n, Char* buffer, int length) noexcept {
  const std::size_t copied = std::min(n, static_cast<std::size_t>(length) - 1);
  std::copy_n(text, copied, buffer);
  buffer[copied] = Char{0};
  return static_cast<int>(copied);
}

}  // namespace

const wchar_t* PluginInfoText(int index) noexcept {
  if (index == 0) return L"00IN";
  if (index == 1) return kVersionText;
  if (index < 2) return nullptr;
  const int pair = (index - 2) / 2;
  if (pair >= 4) return nullptr;
  return (index % 2 == 0) ? kPatterns[pair] : kTypeNames[pair];
}

int CopyPluginInfoW(int index, wchar_t* buffer, int length) noexcept {
  const wchar_t* text = PluginInfoText(index);
  if (buffer == nullptr || length <= 0) return 0;
  if (text == nullptr || text[0] == L'\0') {
    buffer[0] = L'\0';
    return 0;
  }
  return CopyTruncated(text, std::wcslen(text), buffer, length);
}

int CopyPluginInfoA(int index, char* buffer, int length) {
  const wchar_t* text = PluginInfoText(index);
  if (buffer == nullptr || length <= 0) return 0;
  const int wideLength = text ? static_cast<int>(std::wcslen(text)) : 0;
  const int bytes = wideLength > 0 ? WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr) : 0;
  if (bytes <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  const int made = WideCharToMultiByte(CP_ACP, 0, text, wideLength, converted.data(), bytes, nullptr, nullptr);
  if (made <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  return CopyTruncated(converted.data(), static_cast<std::size_t>(made), buffer, length);
}

}  // namespace quorvel
