// The copy out of the imaging component, done so that the rows land where the host
// needs them: bands of rows are copied into a small scratch block and written from there
// straight into the finished DIB rows, turned by the orientation, in bottom-up order
// (unless kept top-down) and reduced to 24 bits where the format asks for it, in one
// pass. Unturned pictures that need no reduction are copied directly into their rows.
#pragma once

#include <wincodec.h>

#include "decode/Orientation.h"
#include "decode/PictureOptions.h"
#include "decode/WorkBitmap.h"

namespace quorvel {

struct StreamOutcome {
  ResultCode result = kResultInternalError;
  HRESULT copyFailure = S_OK;  // the HRESULT when CopyPixels is what failed
};

// On success `picture` holds the delivered pixels (rows in DIB order) and its palette.
// Throws std::bad_alloc only if the format table cannot be built.
StreamOutcome StreamPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const OrientationTransform& transform,
                            const PictureOptions& options, WorkBitmap& picture);

}  // namespace quorvel
