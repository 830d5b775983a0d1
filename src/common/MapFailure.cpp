// The single HRESULT-to-result-code rule.
#include "common/ResultCode.h"

#include <wincodec.h>

namespace quorvel {

ResultCode MapFailure(HRESULT hr) noexcept {
  switch (hr) {
    case WINCODEC_ERR_COMPONENTNOTFOUND:  // no decoder for these bytes
    case WINCODEC_ERR_BADIMAGE:
    case WINCODEC_ERR_BADHEADER:
      return kResultUnknownFormat;
    case E_OUTOFMEMORY:
      return kResultOutOfMemory;
    default:
      return kResultInternalError;
  }
}

}  // namespace quorvel
