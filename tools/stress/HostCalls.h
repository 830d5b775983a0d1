// Every call a host makes on one input, with the checks of each answer: a result code
// the interface knows, the host's record left alone on failure, handles handed over only
// with success, and a DIB whose header geometry fits the blocks' LocalSize.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Plugin.h"

namespace stress {

// The call being made, for the crash report of a worker.
enum class Stage : LONG {
  kIdle,
  kStarting,
  kWriteFile,
  kIsSupportedHeader,
  kIsSupportedHandle,
  kInfoMemory,
  kInfoFile,
  kPictureMemory,
  kPictureFile,
  kPreview,
  kComponentMetadata,  // the stress program itself asking the component's metadata reader
};
const char* StageName(Stage stage);

struct Tally {
  std::uint64_t calls = 0;
  std::array<std::uint64_t, 6> results{};  // -1, 0, 1, 2, 4, 8
  std::uint64_t wrong = 0;                 // answers that failed a check
  std::uint64_t unstableInComponent = 0;   // pictures that differed because the component's pixels did
  void Add(int result);
  void Merge(const Tally& other);
};

// One decode through GetPicture and what came back.
struct Decode {
  int result = -100;
  bool handedOver = false;
  bool wellFormed = false;
  std::uint64_t digest = 0;
  int width = 0, height = 0, bitCount = 0;
  std::string why;
};

class HostCalls {
 public:
  using FreeBlock = void (*)(HLOCAL);
  // tempPath: a file this object may write and delete for the file-mode calls.
  // freeBlock frees the blocks handed over (LocalFree unless given).
  HostCalls(const hostkit::Plugin& plugin, std::wstring tempPath, FreeBlock freeBlock = nullptr);
  ~HostCalls();
  HostCalls(const HostCalls&) = delete;
  HostCalls& operator=(const HostCalls&) = delete;

  // Every call on the bytes in memory and as a file. variant picks the ANSI or wide
  // entry and where the progress callback stops (never, or at its n-th report).
  // Returns the descriptions of wrong answers (empty when all were right).
  std::vector<std::string> RunAll(const std::vector<std::uint8_t>& bytes, std::uint64_t variant, Tally& tally,
                                  volatile LONG* stage = nullptr);

  // GetPicture from memory (or from the file last written when fromFile; or GetPreview
  // from memory when preview), stopping at the stopAt-th progress report (-1: never).
  Decode Picture(const std::vector<std::uint8_t>& bytes, bool fromFile, bool wide, int stopAt, bool preview = false) const;
  bool WriteTempFile(const std::vector<std::uint8_t>& bytes) const;
  const std::wstring& TempPath() const { return tempPath_; }

 private:
  const hostkit::Plugin& plugin_;
  std::wstring tempPath_;
  FreeBlock free_;
};

// -1, 0, 1, 2, 4 or 8.
bool IsResultCode(int result);

}  // namespace stress
