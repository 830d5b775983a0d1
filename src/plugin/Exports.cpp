// The eleven exports: argument checks in their fixed order, the input kind, and a
// boundary that turns every escaping exception into a result code.
#include <windows.h>

#include <new>
#include <type_traits>
#include <string>

#include "decode/ImageSource.h"
#include "decode/LoadPicture.h"
#include "plugin/PictureInfoRecord.h"
#include "plugin/ConfigurationEntry.h"
#include "plugin/CurrentOptions.h"
#include "plugin/PluginInfo.h"
#include "common/ResultCode.h"
#include "plugin/SupportDetection.h"
#include "plugin/SusieApi.h"
#include "plugin/WidenAnsi.h"

using namespace quorvel;

namespace {

// Nothing may unwind into the host: on x86 an escaping exception ends its process.
template <class Body>
int Guarded(int onInternalError, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return onInternalError == 0 ? 0 : kResultOutOfMemory;
  } catch (...) {
    return onInternalError;
  }
}

unsigned InputKind(unsigned int flags) noexcept { return flags & susie::kInputKindMask; }

template <class Char>
ResultCode PictureInfoFor(const Char* source, LONG_PTR length, unsigned int flags, susie::PictureInfo* info) {
  if (source == nullptr || info == nullptr) return kResultInternalError;
  switch (InputKind(flags)) {
    case susie::kInputFile:
      if constexpr (sizeof(Char) == 1) {
        const std::wstring name = WidenAnsi(source);
        return LoadPictureInfo(ImageSource::File(name.c_str()), info);
      } else {
        return LoadPictureInfo(ImageSource::File(source), info);
      }
    case susie::kInputMemory:
      return LoadPictureInfo(ImageSource::Memory(source, length), info);
    default:
      return kResultInternalError;
  }
}

template <class Char>
ResultCode PictureFor(const Char* source, LONG_PTR length, unsigned int flags, HLOCAL* pictureInfoOut,
                      HLOCAL* pixelsOut, susie::ProgressCallback progress, LONG_PTR progressData) {
  if (source == nullptr || pictureInfoOut == nullptr || pixelsOut == nullptr) return kResultInternalError;
  const Progress reporter(progress, progressData);
  const unsigned kind = InputKind(flags);
  if (kind != susie::kInputFile && kind != susie::kInputMemory) return kResultInternalError;
  const PictureOptions options = CurrentPictureOptions();
  switch (kind) {
    case susie::kInputFile:
      if constexpr (sizeof(Char) == 1) {
        const std::wstring name = WidenAnsi(source);
        return LoadPicture(ImageSource::File(name.c_str()), options, pictureInfoOut, pixelsOut, reporter);
      } else {
        return LoadPicture(ImageSource::File(source), options, pictureInfoOut, pixelsOut, reporter);
      }
    case susie::kInputMemory:
      return LoadPicture(ImageSource::Memory(source, length), options, pictureInfoOut, pixelsOut, reporter);
    default:
      return kResultInternalError;
  }
}

}  // namespace

extern "C" {

int WINAPI GetPluginInfo(int index, LPSTR buffer, int length) {
  return Guarded(0, [&] { return CopyPluginInfoA(index, buffer, length); });
}

int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int length) {
  return Guarded(0, [&] { return CopyPluginInfoW(index, buffer, length); });
}

int WINAPI IsSupportedW(LPCWSTR name, ULONG_PTR hint) {
  return Guarded(0, [&] { return DetectSupport(name, hint) ? 1 : 0; });
}

int WINAPI IsSupported(LPCSTR name, ULONG_PTR hint) {
  return Guarded(0, [&] {
    // A null name becomes an empty one, which then fails the extension test.
    const std::wstring wide = WidenAnsi(name);
    return IsSupportedW(wide.c_str(), hint);
  });
}

int WINAPI GetPictureInfoW(LPCWSTR source, LONG_PTR length, unsigned int flags, susie::PictureInfo* info) {
  return Guarded(kResultInternalError, [&] { return PictureInfoFor(source, length, flags, info); });
}

int WINAPI GetPictureInfo(LPCSTR source, LONG_PTR length, unsigned int flags, susie::PictureInfo* info) {
  return Guarded(kResultInternalError, [&] { return PictureInfoFor(source, length, flags, info); });
}

int WINAPI GetPictureW(LPCWSTR source, LONG_PTR length, unsigned int flags, HLOCAL* pictureInfoOut,
                       HLOCAL* pixelsOut, susie::ProgressCallback progress, LONG_PTR progressData) {
  return Guarded(kResultInternalError, [&] {
    return PictureFor(source, length, flags, pictureInfoOut, pixelsOut, progress, progressData);
  });
}

int WINAPI GetPicture(LPCSTR source, LONG_PTR length, unsigned int flags, HLOCAL* pictureInfoOut,
                      HLOCAL* pixelsOut, susie::ProgressCallback progress, LONG_PTR progressData) {
  return Guarded(kResultInternalError, [&] {
    return PictureFor(source, length, flags, pictureInfoOut, pixelsOut, progress, progressData);
  });
}

// Also exported as GetPreviewW.
int WINAPI GetPreview(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, susie::ProgressCallback, LONG_PTR) {
  return kResultNotImplemented;
}

int WINAPI ConfigurationDlg(HWND parent, int function) {
  return Guarded(kResultInternalError, [&] { return RunConfiguration(parent, function); });
}

}  // extern "C"

// The exports must keep the shapes the host tool and the tests call them with.
static_assert(std::is_same_v<decltype(&GetPluginInfo), susie::GetPluginInfoFn>);
static_assert(std::is_same_v<decltype(&GetPluginInfoW), susie::GetPluginInfoWFn>);
static_assert(std::is_same_v<decltype(&IsSupported), susie::IsSupportedFn>);
static_assert(std::is_same_v<decltype(&IsSupportedW), susie::IsSupportedWFn>);
static_assert(std::is_same_v<decltype(&GetPictureInfo), susie::GetPictureInfoFn>);
static_assert(std::is_same_v<decltype(&GetPictureInfoW), susie::GetPictureInfoWFn>);
static_assert(std::is_same_v<decltype(&GetPicture), susie::GetPictureFn>);
static_assert(std::is_same_v<decltype(&GetPictureW), susie::GetPictureWFn>);
static_assert(std::is_same_v<decltype(&GetPreview), susie::GetPreviewFn>);
static_assert(std::is_same_v<decltype(&ConfigurationDlg), susie::ConfigurationDlgFn>);
