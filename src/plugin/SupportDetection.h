// IsSupported's work: the extension test first (no file or COM work for other names),
// then the content test through the imaging component over the host's file handle or
// its 2,048-byte header block.
#pragma once

#include <windows.h>

#include "common/ResultCode.h"

namespace quorvel {

inline constexpr DWORD kHeaderBlockBytes = 2048;

// hint below 0x10000: a file handle owned by the host; otherwise the address of the
// file's first 2,048 bytes. name may be null (the extension test is then skipped).
bool DetectSupport(const wchar_t* name, ULONG_PTR hint);

// 0 means a TIFF. The handle is neither closed nor moved.
ResultCode ProbeFileHandle(HANDLE handle) noexcept;
// 0 means a TIFF. When the block alone gives no decoder the named file is examined whole;
// a name that names no existing file is accepted on its extension alone.
ResultCode ProbeHeader(const void* block, const wchar_t* name) noexcept;

}  // namespace quorvel
