// DetectSupport, ProbeFileHandle and ProbeHeader.
#include "plugin/SupportDetection.h"

#include <shlwapi.h>

#include "decode/DecoderSession.h"
#include "plugin/TiffExtension.h"

namespace quorvel {

bool DetectSupport(const wchar_t* name, ULONG_PTR hint) {
  if (name != nullptr) {
    const wchar_t* extension = PathFindExtensionW(name);
    if (extension != nullptr && !MatchesTiffExtension(extension)) return false;
  }
  // Every bit above the low 16 is tested, in both builds.
  if ((hint >> 16) == 0) return ProbeFileHandle(reinterpret_cast<HANDLE>(hint)) == kResultSuccess;
  return ProbeHeader(reinterpret_cast<const void*>(hint), name) == kResultSuccess;
}

ResultCode ProbeFileHandle(HANDLE handle) noexcept {
  DecoderSession session;
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  if (const ResultCode r = OpenHandleDecoder(session, handle, decoder); r != kResultSuccess) return r;
  return CheckTiffContainer(decoder.Get());
}

ResultCode ProbeHeader(const void* block, const wchar_t* name) noexcept {
  DecoderSession session;
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  const ResultCode first = OpenMemoryDecoder(session, block, kHeaderBlockBytes, decoder);
  if (first == kResultSuccess) return CheckTiffContainer(decoder.Get());
  if (name == nullptr || name[0] == L'\0') return first;

  // The block may end before the first image directory: look at the whole file.
  FileHandle file(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND ? kResultSuccess : first;
  Decoder fileDecoder;
  if (OpenHandleDecoder(session, file.Get(), fileDecoder) != kResultSuccess) return first;
  return CheckTiffContainer(fileDecoder.Get());
}

}  // namespace quorvel
