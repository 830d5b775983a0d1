// The few facts the plug-in needs from a TIFF's first image directory (the orientation
// tag and how rows are stored together), read from the bytes themselves: bounded, every
// offset and count checked against the input's size, and nothing read past it. Plain
// C++ over bytes, without the imaging component or any system call, so that it also
// builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

struct DirectoryFacts {
  bool known = false;            // false: the directory could not be read safely; no facts
  // "Single" below: a count of one, or of none, whose value field the imaging
  // component reads all the same.
  std::uint16_t orientation = 0;  // tag 274 when stored as a single SHORT; 0 otherwise
  // Rows decoded together: TileLength (323) when stored, else RowsPerStrip (278); each
  // counts when stored as a single SHORT or LONG. 0: not stated (one strip).
  std::uint32_t stripRows = 0;
  std::uint32_t tileWidth = 0;  // TileWidth (322) as a single SHORT or LONG; 0: stored in strips
};

// The input's bytes, in place or read on demand.
class DirectoryInput {
 public:
  virtual ~DirectoryInput() = default;
  virtual std::uint64_t Size() const noexcept = 0;
  // size bytes at offset, valid until the next call; nullptr unless all of them exist
  // and could be read.
  virtual const std::uint8_t* Bytes(std::uint64_t offset, std::size_t size) noexcept = 0;
};

// A block in memory, read in place.
class MemoryDirectoryInput final : public DirectoryInput {
 public:
  MemoryDirectoryInput(const void* bytes, std::uint64_t size) noexcept
      : bytes_(static_cast<const std::uint8_t*>(bytes)), size_(bytes ? size : 0) {}
  std::uint64_t Size() const noexcept override { return size_; }
  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t size) noexcept override;

 private:
  const std::uint8_t* bytes_;
  std::uint64_t size_;
};

// Three reads at most: the header, the entry count and the entries. Classic TIFF only;
// anything else (BigTIFF, another format, a directory outside the input) has no facts.
// Never throws: a table of entries that cannot be buffered gives no facts either.
DirectoryFacts ReadFirstDirectory(DirectoryInput& input) noexcept;

}  // namespace quorvel
