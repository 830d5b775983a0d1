// What a decoder is opened over: a file name or bytes in memory.
// The source never owns what it refers to.
#pragma once

#include <windows.h>

namespace quorvel {

struct ImageSource {
  enum class Kind { kFile, kMemory };

  Kind kind = Kind::kFile;
  const wchar_t* name = nullptr;  // kFile
  const void* bytes = nullptr;    // kMemory
  LONG_PTR count = 0;             // kMemory: the host's signed length

  static ImageSource File(const wchar_t* name) noexcept {
    ImageSource s;
    s.kind = Kind::kFile;
    s.name = name;
    return s;
  }
  static ImageSource Memory(const void* bytes, LONG_PTR count) noexcept {
    ImageSource s;
    s.kind = Kind::kMemory;
    s.bytes = bytes;
    s.count = count;
    return s;
  }
};

}  // namespace quorvel
