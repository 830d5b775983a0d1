// The body of GetPicture/GetPictureW up to the decoding pipeline: reports 0 and 10,
// opens the session and the decoder, then hands over to DecodePicture.
#pragma once

#include <windows.h>

#include "decode/ImageSource.h"
#include "decode/PictureOptions.h"
#include "decode/Progress.h"
#include "common/ResultCode.h"

namespace quorvel {

// The two out-parameters are written only on success, or when the host stops the work
// at the final report after they were stored.
ResultCode LoadPicture(const ImageSource& source, const PictureOptions& options, HLOCAL* pictureInfoOut,
                       HLOCAL* pixelsOut, const Progress& progress);

}  // namespace quorvel
