// ReadFirstDirectory: header, entry count, entries; the wanted tags are taken from their
// first entry, as the imaging component's query answers them: a SHORT for the
// orientation, a SHORT or LONG for the layout tags, each with a count of one, or of none
// (the component then reads the value field all the same).
#include "decode/TiffDirectory.h"

#include "common/CheckedSize.h"

namespace quorvel {
namespace {

constexpr std::uint16_t kTypeShort = 3, kTypeLong = 4;
constexpr std::uint16_t kTagOrientation = 274, kTagRowsPerStrip = 278, kTagTileWidth = 322, kTagTileLength = 323;
constexpr std::size_t kHeaderBytes = 8, kEntryBytes = 12;

class Order {
 public:
  explicit Order(bool bigEndian) noexcept : big_(bigEndian) {}
  std::uint16_t U16(const std::uint8_t* p) const noexcept {
    return static_cast<std::uint16_t>(big_ ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
  }
  std::uint32_t U32(const std::uint8_t* p) const noexcept {
    return big_ ? static_cast<std::uint32_t>(U16(p)) << 16 | U16(p + 2)
                : static_cast<std::uint32_t>(U16(p + 2)) << 16 | U16(p);
  }

 private:
  bool big_;
};

// One entry: tag, type, count, and the value field of 4 bytes (the value itself when it
// fits there, as every value read here does).
struct Entry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  const std::uint8_t* value;
};

// The value of an entry that holds a single value: a count of one or none.
bool Single(const Entry& e) noexcept { return e.count <= 1; }

// A count stored as a single SHORT or LONG; 0 for any other type or count.
std::uint32_t SingleCount(const Entry& e, const Order& order) noexcept {
  if (!Single(e)) return 0;
  if (e.type == kTypeShort) return order.U16(e.value);
  if (e.type == kTypeLong) return order.U32(e.value);
  return 0;
}

}  // namespace

const std::uint8_t* MemoryDirectoryInput::Bytes(std::uint64_t offset, std::size_t size) noexcept {
  const auto end = CheckedAdd<std::uint64_t>(offset, size);
  if (!end || *end > size_) return nullptr;
  return bytes_ + offset;
}

DirectoryFacts ReadFirstDirectory(DirectoryInput& input) noexcept {
  const std::uint8_t* header = input.Bytes(0, kHeaderBytes);
  if (header == nullptr) return {};
  const bool little = header[0] == 'I' && header[1] == 'I', big = header[0] == 'M' && header[1] == 'M';
  if (!little && !big) return {};
  const Order order(big);
  if (order.U16(header + 2) != 42) return {};
  const std::uint32_t at = order.U32(header + 4);

  const std::uint8_t* countBytes = input.Bytes(at, 2);
  if (countBytes == nullptr) return {};
  const std::uint16_t count = order.U16(countBytes);
  const auto tableAt = CheckedAdd<std::uint64_t>(at, 2);
  const auto tableBytes = CheckedMul<std::uint64_t>(count, kEntryBytes);
  if (!tableAt || !tableBytes) return {};
  const auto tableSize = CheckedNarrow<std::size_t>(*tableBytes);
  if (!tableSize) return {};
  const std::uint8_t* table = input.Bytes(*tableAt, *tableSize);
  if (table == nullptr && count != 0) return {};

  DirectoryFacts facts;
  facts.known = true;
  bool orientationSeen = false, rowsSeen = false, widthSeen = false, lengthSeen = false;
  std::uint32_t rowsPerStrip = 0, tileLength = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* p = table + static_cast<std::size_t>(i) * kEntryBytes;
    const Entry e{order.U16(p), order.U16(p + 2), order.U32(p + 4), p + 8};
    switch (e.tag) {
      case kTagOrientation:
        if (orientationSeen) break;
        orientationSeen = true;
        if (e.type == kTypeShort && Single(e)) facts.orientation = order.U16(e.value);
        break;
      case kTagRowsPerStrip:
        if (rowsSeen) break;
        rowsSeen = true;
        rowsPerStrip = SingleCount(e, order);
        break;
      case kTagTileWidth:
        if (widthSeen) break;
        widthSeen = true;
        facts.tileWidth = SingleCount(e, order);
        break;
      case kTagTileLength:
        if (lengthSeen) break;
        lengthSeen = true;
        tileLength = SingleCount(e, order);
        break;
      default:
        break;
    }
  }
  facts.stripRows = tileLength != 0 ? tileLength : rowsPerStrip;
  return facts;
}

}  // namespace quorvel
