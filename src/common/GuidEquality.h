// The one GUID comparison of the code base: byte for byte, as COM defines identity.
#pragma once

#include <guiddef.h>

#include <cstring>

namespace quorvel {

inline bool SameGuid(const GUID& a, const GUID& b) noexcept { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace quorvel
