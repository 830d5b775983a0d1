// The decoding pipeline behind GetPicture: frame 0 converted, copied, turned upright,
// put bottom-up, reduced to at most 24 bits and handed to the host as a DIB, with
// progress reports 30, 50, 60, 70, 80, 90 and 100.
#pragma once

#include <wincodec.h>

#include "decode/ImageSource.h"
#include "decode/PictureOptions.h"
#include "decode/Progress.h"
#include "decode/TiffDirectory.h"
#include "common/ResultCode.h"

namespace quorvel {

// Stores the BITMAPINFO handle in *pictureInfoOut and the pixel handle in *pixelsOut
// only on success, or when the host stops the work at the final report (result 1, the
// handles already the host's). Throws std::bad_alloc only if the format table cannot be built.
// directory: the first directory's facts, read from the input's own bytes (orientation
// tag, strip layout). input: what the decoder was opened over, for extra decoders of a
// large picture (ParallelDecode.h); without it the picture is decoded by this decoder alone.
ResultCode DecodePicture(HLOCAL* pictureInfoOut, HLOCAL* pixelsOut, IWICImagingFactory* factory,
                         IWICBitmapDecoder* decoder, const PictureOptions& options, const Progress& progress,
                         const DirectoryFacts& directory, const ImageSource* input = nullptr);

}  // namespace quorvel
