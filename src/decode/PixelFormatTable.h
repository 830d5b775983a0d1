// The pixel format table: for each WIC pixel format a TIFF frame can have, the format to
// convert into for the host, the source's bits per pixel and whether it carries alpha.
// Built once per process on the first lookup, under its own lock; kept until unload.
#pragma once

#include <guiddef.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvel {

struct PixelFormatEntry {
  const GUID* source;  // the key
  const GUID* target;  // conversion target when no alpha or rotation rule applies
  std::int32_t bitCount;
  bool hasAlpha;
};

inline constexpr std::size_t kPixelFormatEntryCount = 76;

// Answer for every format without an entry: DontCare -> 24bppBGR, 0 bits, no alpha.
extern const PixelFormatEntry& kFallbackFormatEntry;

// The entry for format, or kFallbackFormatEntry. The reference stays valid until unload.
// Building the table on first use may throw std::bad_alloc; the step under way is then
// undone so that a later lookup builds it again.
const PixelFormatEntry& LookUpPixelFormat(const GUID& format);

// Creates the table lock; called once when the library is loaded (or a test program
// starts). Registers the lock's deletion for unload.
void InitialisePixelFormatTable() noexcept;

// For tests to look at: the 76 entries in declaration order (filled by the first
// lookup) and the guard bits (1 fallback filled, 2 entries filled, 4 map built).
std::span<const PixelFormatEntry> PixelFormatEntries() noexcept;
unsigned PixelFormatTableGuardBits() noexcept;

}  // namespace quorvel
