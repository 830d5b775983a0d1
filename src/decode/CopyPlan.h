// The copy out of the imaging component, planned before any pixel moves: from the frame's
// facts and the picture's options, the format to read (and what to fall back to), what
// the copy does to each pixel, where the orientation sends rows and columns, the delivered
// picture's size and depth, and the band sizes. A pure function of its arguments: no
// imaging component, no settings.
#pragma once

#include <guiddef.h>

#include <cstddef>
#include <cstdint>

#include "common/ResultCode.h"
#include "decode/Orientation.h"
#include "decode/PictureOptions.h"
#include "decode/RowKernels.h"

namespace quorvel {

struct FrameDescription {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  GUID format{};              // the frame's own pixel format
  bool paletteAlpha = false;  // an indexed frame whose palette carries alpha
  OrientationTransform transform;  // its tag's, or neutral when the user turned that off
  std::uint32_t stripRows = 0;     // rows decoded together (strip or tile row); 0: one strip or not read
  bool tiled = false;              // stored in tiles: stripRows is the tile length
};

struct CopyPlan {
  ResultCode result = kResultSuccess;  // 0, or why this frame cannot be delivered
  GUID target{};    // the pixel format the copy reads
  GUID fallback{};  // what to read instead when the component cannot convert into target
  bool alpha = false;                   // the frame has alpha (table flag or palette)
  OrientationTransform transform;
  std::uint32_t sourceWidth = 0, sourceHeight = 0;
  std::uint32_t sourceBits = 0;         // bits per pixel of target
  std::size_t sourceStride = 0;
  std::size_t sourceBytes = 0;          // sourceStride * sourceHeight
  std::uint32_t width = 0, height = 0;  // delivered
  std::uint32_t bitCount = 0;           // delivered: at most 24
  PixelOp op = PixelOp::kCopy;
  std::uint32_t elementBytes = 1;  // what a kernel moves as one element (whole bytes for unturned copies)
  BackgroundColor background{0xFF, 0xFF, 0xFF};
  Walk walk = Walk::kRowsForward;  // the kernel entry, by the rotation (RowKernels.h)
  bool direct = false;         // rows land as read: one CopyPixels into the delivered block
  std::uint32_t bandRows = 0;  // source rows per scratch band that the kernels write into place
  std::uint32_t sharedBandRows = 0;  // the same for a decoder that shares the picture with others
  // Source rows per copy out of the component: a band's rows, or for a tiled frame whole
  // rows of tiles covering at least a band (the component decodes a tile whole for every
  // copy that touches it and keeps only the last). Bands are written from it in turn.
  std::uint32_t readRows = 0;
  std::uint32_t sharedReadRows = 0;
  std::uint32_t parallelFromRows = 0;  // bands of at least this many rows run on the worker threads; 0: none

  bool HasFallback() const noexcept;  // fallback differs from target
};

// forcedTarget: read that format instead of the chosen one (the fallback's second plan).
// Throws std::bad_alloc only if the format table cannot be built.
CopyPlan PlanCopy(const FrameDescription& frame, const PictureOptions& options, const GUID* forcedTarget = nullptr);

}  // namespace quorvel
