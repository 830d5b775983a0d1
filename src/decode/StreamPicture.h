// The copy out of the imaging component as planned (CopyPlan.h): bands of rows are copied
// into a small scratch block and written from there straight into the finished DIB rows,
// turned by the orientation, in bottom-up order (unless kept top-down) and reduced to 24
// bits where the plan says so, in one pass. Planned direct copies go straight into place.
#pragma once

#include <wincodec.h>

#include "decode/CopyPlan.h"
#include "decode/WorkBitmap.h"

namespace quorvel {

struct StreamOutcome {
  ResultCode result = kResultInternalError;
  HRESULT copyFailure = S_OK;  // the HRESULT when CopyPixels is what failed
};

// source must deliver plan.target at the planned size. On success `picture` holds the
// delivered pixels (rows in DIB order, padding zeroed) and its palette.
StreamOutcome StreamPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const CopyPlan& plan,
                            WorkBitmap& picture);

}  // namespace quorvel
