// GetPictureInfo's work: the first frame's size, densities and stored colour depth,
// without decoding pixels and without applying the orientation tag.
#pragma once

#include <wincodec.h>

#include <cstdint>

#include "decode/ImageSource.h"
#include "plugin/ResultCode.h"
#include "plugin/SusieApi.h"

namespace quorvel {

// The record is written only when every query succeeded; hInfo is never written.
// Throws std::bad_alloc only if the format table cannot be built.
ResultCode LoadPictureInfo(const ImageSource& source, susie::PictureInfo* info);
ResultCode ReadPictureInfo(IWICBitmapDecoder* decoder, susie::PictureInfo* info);

// Dots per metre for a resolution in dots per inch: truncated, low 16 bits kept. A
// resolution that is negative, not a number or beyond 2^63 dots per metre gives 0.
std::uint16_t DensityFromDpi(double dotsPerInch) noexcept;

}  // namespace quorvel
