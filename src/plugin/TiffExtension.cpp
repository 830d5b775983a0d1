// MatchesTiffExtension over a function-local static pattern: its construction is guarded
// by the compiler's thread-safe static initialisation, which leaves the object unbuilt
// when construction throws, so the next call tries again; its destruction is registered
// for unload when it is built.
#include "plugin/TiffExtension.h"

#include <cwchar>
#include <regex>

namespace quorvel {
namespace {

const std::wregex& ExtensionPattern() {
  static const std::wregex pattern(kExtensionPattern, std::regex_constants::ECMAScript | std::regex_constants::icase);
  return pattern;
}

}  // namespace

bool MatchesTiffExtension(const wchar_t* extension) {
  const std::wregex& pattern = ExtensionPattern();
  if (extension == nullptr) return false;
  const wchar_t* end = extension + std::wcslen(extension);
  if (end == extension) return false;
  return std::regex_match(extension, end, pattern);
}

}  // namespace quorvel
