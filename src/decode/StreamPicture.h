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

// StreamPicture in its parts, for decoders that share one picture (ParallelDecode.h):
// BeginPicture checks the source against the plan and allocates `picture` with its
// palette; CopySourceRows copies source rows [begin, end) into their places (the rows a
// band of the source lands on are written by no other range); FinishPicture zeroes the
// padding once every range is in.
StreamOutcome BeginPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const CopyPlan& plan,
                           WorkBitmap& picture);
// Which of the decoders sharing a picture copies the range: `index` of `count`. A decoder
// alone ({0, 1}) may hand a band's rows to the 32-bit build's row-parallel loop; decoders
// that share the processors do not, and under a quarter turn each starts writing the
// delivered rows at its own share of them, so that no two fault in the same fresh pages
// at once.
struct RangeShare {
  std::uint32_t index = 0;
  std::uint32_t count = 1;
};
StreamOutcome CopySourceRows(IWICBitmapSource* source, const CopyPlan& plan, WorkBitmap& picture, std::uint32_t begin,
                             std::uint32_t end, RangeShare share);
void FinishPicture(WorkBitmap& picture) noexcept;

}  // namespace quorvel
