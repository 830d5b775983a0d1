// Frame 0 made ready for copying: its facts read (size, pixel format, palette alpha; the
// orientation tag, unless the options turn that off, and the strip layout come from the
// first directory's facts), the copy planned, and a format converter put in front of it
// when the planned format differs from its own.
#pragma once

#include <wincodec.h>

#include "common/Owners.h"
#include "decode/CopyPlan.h"
#include "decode/TiffDirectory.h"

namespace quorvel {

struct PreparedSource {
  ComPtr<IWICBitmapSource> source;  // the frame itself or a converter over it
  ComPtr<IWICBitmapFrameDecode> frame;  // kept for a second conversion (see below)
  FrameDescription description;
  CopyPlan plan;
};

// 0 also when the plan refuses the picture (prepared.plan.result says why; there is no
// source then). Throws std::bad_alloc only if the format table cannot be built.
ResultCode PrepareSource(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, const PictureOptions& options,
                         const DirectoryFacts& directory, PreparedSource& prepared);

// Whether a frame of this size is large enough to be shared out among several decoders.
bool WorthSharingOut(std::uint32_t width, std::uint32_t height) noexcept;

// A bitmap source over the frame that delivers target: the frame itself when it already
// has that format, a converter otherwise. Returns the failing HRESULT.
HRESULT MakeSourceInFormat(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const GUID& frameFormat,
                           const GUID& target, ComPtr<IWICBitmapSource>& source) noexcept;

// True when hr says that the imaging component cannot convert into the requested format,
// as Wine's does for several targets that Windows' converts into.
bool IsUnsupportedConversion(HRESULT hr) noexcept;

// Plans the copy again from the plan's fallback format and puts a converter into it in
// front of the frame. 0 or the mapped failure.
ResultCode ConvertToFallback(IWICImagingFactory* factory, const PictureOptions& options, PreparedSource& prepared);

}  // namespace quorvel
