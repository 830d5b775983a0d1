// Result codes of the Susie plug-in interface, carried by every internal operation,
// and MapFailure: the one place where a failing HRESULT becomes a result code.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quorvel {

using ResultCode = std::int32_t;

inline constexpr ResultCode kResultNotImplemented = -1;
inline constexpr ResultCode kResultSuccess = 0;
inline constexpr ResultCode kResultAborted = 1;        // the host's progress callback asked to stop
inline constexpr ResultCode kResultUnknownFormat = 2;  // not a format this plug-in reads
inline constexpr ResultCode kResultOutOfMemory = 4;
inline constexpr ResultCode kResultInternalError = 8;  // anything else

// Result code for a failing HRESULT. Only failures are passed here; a success code
// given by mistake yields 8, never 0, so a mapped failure can never read as success.
ResultCode MapFailure(HRESULT hr) noexcept;

}  // namespace quorvel
