// The Susie plug-in interface as this plug-in exports it: the host's record, the
// progress callback and the signatures of the eleven exports. Shared by the plug-in,
// its host tool and its tests, so all three agree on every argument width.
#pragma once

#include <windows.h>

#include <cstddef>

namespace susie {

#pragma pack(push, 1)
// The host's picture record, packed as the interface publishes it: 26 bytes in 32-bit
// hosts; 64-bit hosts keep two bytes after colorDepth, so hInfo sits at 24 of 32 there.
struct PictureInfo {
  LONG left;
  LONG top;
  LONG width;
  LONG height;
  WORD x_density;  // dots per metre
  WORD y_density;
  SHORT colorDepth;
#ifdef _WIN64
  BYTE alignment[2];  // never written: what the host put there stays
#endif
  HLOCAL hInfo;  // text information: this plug-in has none and answers null
};
#pragma pack(pop)
static_assert(offsetof(PictureInfo, x_density) == 16 && offsetof(PictureInfo, colorDepth) == 20);
#ifdef _WIN64
static_assert(offsetof(PictureInfo, hInfo) == 24 && sizeof(PictureInfo) == 32);
#else
static_assert(offsetof(PictureInfo, hInfo) == 22 && sizeof(PictureInfo) == 26);
#endif

// Progress callback: non-zero asks the plug-in to stop. progressData is the host's own value.
using ProgressCallback = int(WINAPI*)(int numerator, int denominator, LONG_PTR progressData);

using GetPluginInfoFn = int(WINAPI*)(int index, LPSTR buffer, int length);
using GetPluginInfoWFn = int(WINAPI*)(int index, LPWSTR buffer, int length);
using IsSupportedFn = int(WINAPI*)(LPCSTR name, ULONG_PTR hint);
using IsSupportedWFn = int(WINAPI*)(LPCWSTR name, ULONG_PTR hint);
using GetPictureInfoFn = int(WINAPI*)(LPCSTR source, LONG_PTR length, unsigned int flags, PictureInfo* info);
using GetPictureInfoWFn = int(WINAPI*)(LPCWSTR source, LONG_PTR length, unsigned int flags, PictureInfo* info);
using GetPictureFn = int(WINAPI*)(LPCSTR source, LONG_PTR length, unsigned int flags, HLOCAL* pictureInfoOut,
                                  HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);
using GetPictureWFn = int(WINAPI*)(LPCWSTR source, LONG_PTR length, unsigned int flags, HLOCAL* pictureInfoOut,
                                   HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);
using GetPreviewFn = GetPictureFn;
using ConfigurationDlgFn = int(WINAPI*)(HWND parent, int function);

// Input kinds in the low three bits of the flags argument.
inline constexpr unsigned int kInputKindMask = 7;
inline constexpr unsigned int kInputFile = 0;
inline constexpr unsigned int kInputMemory = 1;

}  // namespace susie
