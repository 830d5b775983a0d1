// GetPictureInfo's work on the decoding side: the first frame's size, resolution and
// stored colour depth, without decoding pixels and without applying the orientation tag.
#pragma once

#include <wincodec.h>

#include <cstdint>

#include "common/ResultCode.h"
#include "decode/ImageSource.h"

namespace quorvel {

struct FrameFacts {
  std::uint32_t width = 0;  // at most INT_MAX, like height
  std::uint32_t height = 0;
  double dpiX = 0, dpiY = 0;
  std::uint32_t bitCount = 0;  // as stored; 0 for a format the table does not know
};

// facts is written only when every query succeeded. Throws std::bad_alloc only if the
// format table cannot be built.
ResultCode LoadFrameFacts(const ImageSource& source, FrameFacts& facts);
ResultCode ReadFrameFacts(IWICBitmapDecoder* decoder, FrameFacts& facts);

}  // namespace quorvel
