// libFuzzer target for the first-directory reader, built natively with AddressSanitizer
// and UndefinedBehaviorSanitizer (run-fuzzer.sh). Each input is read twice: in place,
// and through an input that hands out a fresh block of exactly the bytes asked for, as
// the file reader does, so that reading beyond what was asked for is caught too; both
// must give the same facts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "decode/TiffDirectory.h"

namespace {

class CopyingInput final : public quorvel::DirectoryInput {
 public:
  CopyingInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() const noexcept override { return size_; }
  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t size) noexcept override {
    if (offset > size_ || size > size_ - offset) return nullptr;
    block_.reset(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(block_.get(), data_ + offset, size);
    return block_.get();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::unique_ptr<std::uint8_t[]> block_;
};

bool Same(const quorvel::DirectoryFacts& a, const quorvel::DirectoryFacts& b) {
  return a.known == b.known && a.orientation == b.orientation && a.stripRows == b.stripRows &&
         a.tileWidth == b.tileWidth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvel::MemoryDirectoryInput inPlace(data, size);
  const quorvel::DirectoryFacts a = quorvel::ReadFirstDirectory(inPlace);
  CopyingInput copied(data, size);
  const quorvel::DirectoryFacts b = quorvel::ReadFirstDirectory(copied);
  if (!Same(a, b)) std::abort();
  // Facts only from a directory that was there.
  if (!a.known && (a.orientation != 0 || a.stripRows != 0 || a.tileWidth != 0)) std::abort();
  return 0;
}
