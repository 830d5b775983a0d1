// ReadSourceDirectory: memory in place; a file through a handle of its own, each read
// into one buffer of just the bytes asked for.
#include "decode/SourceDirectory.h"

#include <new>
#include <vector>

#include "common/Owners.h"

namespace quorvel {
namespace {

class FileDirectoryInput final : public DirectoryInput {
 public:
  explicit FileDirectoryInput(const wchar_t* name) noexcept
      : file_(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER size{};
    if (file_ && GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0) size_ = static_cast<std::uint64_t>(size.QuadPart);
  }

  std::uint64_t Size() const noexcept override { return size_; }

  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t size) noexcept override {
    if (offset > size_ || size > size_ - offset || size > MAXDWORD) return nullptr;
    try {
      buffer_.resize(size == 0 ? 1 : size);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (size != 0 && (!ReadFile(file_.Get(), buffer_.data(), static_cast<DWORD>(size), &read, &at) || read != size))
      return nullptr;
    return buffer_.data();
  }

 private:
  FileHandle file_;
  std::uint64_t size_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

DirectoryFacts ReadSourceDirectory(const ImageSource& source) noexcept {
  if (source.kind == ImageSource::Kind::kMemory) {
    if (source.bytes == nullptr || source.count <= 0) return {};
    MemoryDirectoryInput input(source.bytes, static_cast<std::uint64_t>(source.count));
    return ReadFirstDirectory(input);
  }
  if (source.name == nullptr || *source.name == L'\0') return {};
  FileDirectoryInput input(source.name);
  return ReadFirstDirectory(input);
}

}  // namespace quorvel
