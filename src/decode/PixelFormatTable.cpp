// Pixel format table: the 76 rows, the lock, the guard bits and the ordered map.
#include "decode/PixelFormatTable.h"

#include <windows.h>

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <map>

#include "decode/PixelFormatGuids.h"

namespace quorvel {
namespace {

// Declaration order; lookups do not depend on it.
constexpr PixelFormatEntry kEntryRows[kPixelFormatEntryCount] = {
    {&kPixelFormat1bppIndexed, &kPixelFormat1bppIndexed, 1, false},
    {&kPixelFormat2bppIndexed, &kPixelFormat4bppIndexed, 2, false},
    {&kPixelFormat4bppIndexed, &kPixelFormat4bppIndexed, 4, false},
    {&kPixelFormat8bppIndexed, &kPixelFormat8bppIndexed, 8, false},
    {&kPixelFormatBlackWhite, &kPixelFormatBlackWhite, 1, false},
    {&kPixelFormat2bppGray, &kPixelFormat4bppGray, 2, false},
    {&kPixelFormat4bppGray, &kPixelFormat4bppGray, 4, false},
    {&kPixelFormat8bppGray, &kPixelFormat8bppGray, 8, false},
    {&kPixelFormat16bppGray, &kPixelFormat24bppBGR, 16, false},
    {&kPixelFormat16bppGrayFixedPoint, &kPixelFormat24bppBGR, 16, false},
    {&kPixelFormat16bppGrayHalf, &kPixelFormat24bppBGR, 16, false},
    {&kPixelFormat32bppGrayFloat, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat32bppGrayFixedPoint, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat16bppBGR555, &kPixelFormat16bppBGR555, 16, false},
    {&kPixelFormat16bppBGR565, &kPixelFormat24bppBGR, 16, false},
    {&kPixelFormat16bppBGRA5551, &kPixelFormat16bppBGR555, 16, true},
    {&kPixelFormat32bppBGR101010, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat32bppRGBA1010102, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat32bppRGBA1010102XR, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat24bppRGB, &kPixelFormat24bppBGR, 24, false},
    {&kPixelFormat24bppBGR, &kPixelFormat24bppBGR, 24, false},
    {&kPixelFormat32bppBGR, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat32bppRGBA, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat32bppBGRA, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat32bppRGBE, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat32bppPRGBA, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat32bppPBGRA, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat48bppRGB, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat48bppBGR, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat48bppRGBFixedPoint, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat48bppBGRFixedPoint, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat48bppRGBHalf, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat64bppRGBA, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppBGRA, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppPRGBA, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppPBGRA, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppRGBFixedPoint, &kPixelFormat24bppBGR, 64, false},
    {&kPixelFormat64bppRGBAFixedPoint, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppBGRAFixedPoint, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat64bppRGBHalf, &kPixelFormat24bppBGR, 64, false},
    {&kPixelFormat64bppRGBAHalf, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat96bppRGBFixedPoint, &kPixelFormat24bppBGR, 96, false},
    {&kPixelFormat128bppRGBFloat, &kPixelFormat24bppBGR, 128, false},
    {&kPixelFormat128bppRGBAFloat, &kPixelFormat24bppBGR, 128, true},
    {&kPixelFormat128bppPRGBAFloat, &kPixelFormat24bppBGR, 128, true},
    {&kPixelFormat128bppRGBFixedPoint, &kPixelFormat24bppBGR, 128, false},
    {&kPixelFormat128bppRGBAFixedPoint, &kPixelFormat24bppBGR, 128, true},
    {&kPixelFormat32bppCMYK, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat64bppCMYK, &kPixelFormat24bppBGR, 64, false},
    {&kPixelFormat40bppCMYKAlpha, &kPixelFormat24bppBGR, 40, true},
    {&kPixelFormat80bppCMYKAlpha, &kPixelFormat24bppBGR, 80, true},
    {&kPixelFormat24bpp3Channels, &kPixelFormat24bppBGR, 24, false},
    {&kPixelFormat48bpp3Channels, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat32bpp3ChannelsAlpha, &kPixelFormat24bppBGR, 32, true},
    {&kPixelFormat64bpp3ChannelsAlpha, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat32bpp4Channels, &kPixelFormat24bppBGR, 32, false},
    {&kPixelFormat64bpp4Channels, &kPixelFormat24bppBGR, 64, false},
    {&kPixelFormat40bpp4ChannelsAlpha, &kPixelFormat24bppBGR, 40, true},
    {&kPixelFormat80bpp4ChannelsAlpha, &kPixelFormat24bppBGR, 80, true},
    {&kPixelFormat40bpp5Channels, &kPixelFormat24bppBGR, 40, false},
    {&kPixelFormat80bpp5Channels, &kPixelFormat24bppBGR, 80, false},
    {&kPixelFormat48bpp5ChannelsAlpha, &kPixelFormat24bppBGR, 48, true},
    {&kPixelFormat96bpp5ChannelsAlpha, &kPixelFormat24bppBGR, 96, true},
    {&kPixelFormat48bpp6Channels, &kPixelFormat24bppBGR, 48, false},
    {&kPixelFormat96bpp6Channels, &kPixelFormat24bppBGR, 96, false},
    {&kPixelFormat56bpp6ChannelsAlpha, &kPixelFormat24bppBGR, 56, true},
    {&kPixelFormat112bpp6ChannelsAlpha, &kPixelFormat24bppBGR, 112, true},
    {&kPixelFormat56bpp7Channels, &kPixelFormat24bppBGR, 56, false},
    {&kPixelFormat112bpp7Channels, &kPixelFormat24bppBGR, 112, false},
    {&kPixelFormat64bpp7ChannelsAlpha, &kPixelFormat24bppBGR, 64, true},
    {&kPixelFormat128bpp7ChannelsAlpha, &kPixelFormat24bppBGR, 128, true},
    {&kPixelFormat64bpp8Channels, &kPixelFormat24bppBGR, 64, false},
    {&kPixelFormat128bpp8Channels, &kPixelFormat24bppBGR, 128, false},
    {&kPixelFormat72bpp8ChannelsAlpha, &kPixelFormat24bppBGR, 72, true},
    {&kPixelFormat144bpp8ChannelsAlpha, &kPixelFormat24bppBGR, 144, true},
    {&kPixelFormat8bppAlpha, &kPixelFormat24bppBGR, 8, true},
};

constexpr unsigned kFallbackFilled = 1u << 0;
constexpr unsigned kEntriesFilled = 1u << 1;
constexpr unsigned kMapBuilt = 1u << 2;

// Keys compare as a byte-wise memory comparison of the 16 GUID bytes.
struct GuidBytesLess {
  bool operator()(const GUID& a, const GUID& b) const noexcept { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};
using EntryMap = std::map<GUID, PixelFormatEntry, GuidBytesLess>;

CRITICAL_SECTION gTableLock;
bool gLockReady = false;
unsigned gGuardBits = 0;
PixelFormatEntry gFallbackEntry{};
PixelFormatEntry gEntries[kPixelFormatEntryCount]{};
EntryMap* gMap = nullptr;

void DestroyMap() noexcept {
  delete gMap;
  gMap = nullptr;
}

void DeleteTableLock() noexcept {
  if (gLockReady) {
    gLockReady = false;
    DeleteCriticalSection(&gTableLock);
  }
}

class TableLockHold {
 public:
  TableLockHold() noexcept { EnterCriticalSection(&gTableLock); }
  ~TableLockHold() { LeaveCriticalSection(&gTableLock); }
  TableLockHold(const TableLockHold&) = delete;
  TableLockHold& operator=(const TableLockHold&) = delete;
};

// Clears a guard bit again unless the step it guards completed.
class GuardStep {
 public:
  explicit GuardStep(unsigned bit) noexcept : bit_(bit) { gGuardBits |= bit_; }
  ~GuardStep() {
    if (!done_) gGuardBits &= ~bit_;
  }
  GuardStep(const GuardStep&) = delete;
  GuardStep& operator=(const GuardStep&) = delete;
  void Done() noexcept { done_ = true; }

 private:
  unsigned bit_;
  bool done_ = false;
};

}  // namespace

const PixelFormatEntry& kFallbackFormatEntry = gFallbackEntry;

void InitialisePixelFormatTable() noexcept {
  if (gLockReady) return;
  InitializeCriticalSection(&gTableLock);
  gLockReady = true;
  // Registered before the map's handler, so it runs after it: map first, then the lock.
  std::atexit(DeleteTableLock);
}

const PixelFormatEntry& LookUpPixelFormat(const GUID& format) {
  assert(gLockReady);
  TableLockHold hold;
  if ((gGuardBits & kFallbackFilled) == 0) {
    GuardStep step(kFallbackFilled);
    gFallbackEntry = {&kPixelFormatDontCare, &kPixelFormat24bppBGR, 0, false};
    step.Done();
  }
  if ((gGuardBits & kEntriesFilled) == 0) {
    GuardStep step(kEntriesFilled);
    std::memcpy(gEntries, kEntryRows, sizeof(gEntries));
    step.Done();
  }
  if ((gGuardBits & kMapBuilt) == 0) {
    GuardStep step(kMapBuilt);
    auto* map = new EntryMap;  // may throw std::bad_alloc
    try {
      for (const PixelFormatEntry& entry : gEntries) map->emplace(*entry.source, entry);
    } catch (...) {
      delete map;
      throw;
    }
    gMap = map;
    std::atexit(DestroyMap);
    step.Done();
  }
  const auto it = gMap->lower_bound(format);
  if (it == gMap->end() || GuidBytesLess{}(format, it->first)) return kFallbackFormatEntry;
  return it->second;
}

std::span<const PixelFormatEntry> PixelFormatEntries() noexcept { return gEntries; }

unsigned PixelFormatTableGuardBits() noexcept { return gGuardBits; }

}  // namespace quorvel
