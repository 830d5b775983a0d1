// Frame 0 made ready for copying: its orientation read, its target format chosen and a
// format converter put in front of it when the target differs from its own format.
#pragma once

#include <wincodec.h>

#include "common/Owners.h"
#include "decode/Orientation.h"
#include "decode/PictureOptions.h"
#include "common/ResultCode.h"

namespace quorvel {

struct PreparedSource {
  ComPtr<IWICBitmapSource> source;  // the frame itself or a converter over it
  OrientationTransform transform;
  ComPtr<IWICBitmapFrameDecode> frame;  // kept for a second conversion (see below)
  GUID target{};
  bool alpha = false;  // the frame has alpha (table flag or palette)
};

// Throws std::bad_alloc only if the format table cannot be built.
// With options.applyOrientation off the frame's metadata is not read at all.
ResultCode PrepareSource(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, const PictureOptions& options,
                         PreparedSource& prepared);

// True when hr says that the imaging component cannot convert into the requested format,
// as Wine's does for several targets that Windows' converts into.
bool IsUnsupportedConversion(HRESULT hr) noexcept;

// Replaces the source with a converter into FallbackTargetFormat. 0 or the mapped failure.
ResultCode ConvertToFallback(IWICImagingFactory* factory, PreparedSource& prepared) noexcept;

}  // namespace quorvel
