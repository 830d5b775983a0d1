// The extension test of support detection: .tif or .tiff in any letter case.
#pragma once

namespace quorvel {

inline constexpr const wchar_t* kExtensionPattern = L"^\\.TIF{1,2}$";

// extension: from the dot on, as PathFindExtensionW gives it. The compiled pattern is
// built once per process on first use (thread-safe; a failed build is retried by the
// next call) and lives until unload. Throws std::bad_alloc if it cannot be built.
bool MatchesTiffExtension(const wchar_t* extension);

}  // namespace quorvel
