// In-place edits of a classic TIFF's first image directory, for mutations that keep the
// rest of the file as it is: an entry's type, count or value, the entry count, the link
// to the next directory. Every access is bounds-checked; a file too damaged to parse
// gives an editor with no entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace stress {

struct TiffEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::uint32_t value = 0;  // the value or offset field as a 32-bit number
};

class TiffEditor {
 public:
  explicit TiffEditor(std::vector<std::uint8_t>& file);

  std::size_t EntryCount() const { return entries_; }
  std::uint32_t DirectoryOffset() const { return directory_; }
  TiffEntry Entry(std::size_t i) const;
  std::optional<std::size_t> Find(std::uint16_t tag) const;

  void SetType(std::size_t i, std::uint16_t type);
  void SetCount(std::size_t i, std::uint32_t count);
  void SetValue(std::size_t i, std::uint32_t value);
  void SetEntryCountField(std::uint16_t count);
  void SetNextDirectory(std::uint32_t offset);

  // Number reads and writes in the file's byte order; out of range reads give 0 and
  // out of range writes do nothing.
  std::uint32_t Read(std::size_t at, int bytes) const;
  void Write(std::size_t at, int bytes, std::uint32_t value);

 private:
  std::size_t EntryAt(std::size_t i) const { return directory_ + 2 + 12 * i; }

  std::vector<std::uint8_t>& file_;
  bool bigEndian_ = false;
  std::uint32_t directory_ = 0;
  std::size_t entries_ = 0;
};

}  // namespace stress
