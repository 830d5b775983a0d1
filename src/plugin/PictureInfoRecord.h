// The host's picture record, filled from the decoding side's frame facts.
#pragma once

#include <cstdint>

#include "common/ResultCode.h"
#include "decode/ImageSource.h"
#include "plugin/SusieApi.h"

namespace quorvel {

// GetPictureInfo's body: the record is written only on success, hInfo as null.
ResultCode LoadPictureInfo(const ImageSource& source, susie::PictureInfo* info);

// Dots per metre for a resolution in dots per inch: truncated, low 16 bits kept. A
// resolution that is negative, not a number or beyond 2^63 dots per metre gives 0.
std::uint16_t DensityFromDpi(double dotsPerInch) noexcept;

}  // namespace quorvel
