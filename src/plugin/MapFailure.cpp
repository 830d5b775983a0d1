// The single HRESULT-to-result-code rule.
#include "plugin/ResultCode.h"

#include <wincodec.h>

namespace quorvel {

ResultCode MapFailure(HRESULT hr) noexcept {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x88982F50u:  // WINCODEC_ERR_COMPONENTNOTFOUND: no decoder for these bytes
    case 0x88982F60u:  // WINCODEC_ERR_BADIMAGE
    case 0x88982F61u:  // WINCODEC_ERR_BADHEADER
      return kResultUnknownFormat;
    case 0x8007000Eu:  // E_OUTOFMEMORY
      return kResultOutOfMemory;
    default:
      return kResultInternalError;
  }
}

}  // namespace quorvel
