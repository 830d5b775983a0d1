// How many rows of a TIFF frame are stored together: a strip, or a row of tiles. Each is
// decoded whole, whichever of its rows are asked for.
#pragma once

#include <wincodec.h>

#include <cstdint>

namespace quorvel {

// RowsPerStrip, or TileLength for a tiled frame; 0 when the frame does not say (one strip).
std::uint32_t ReadStripRows(IWICBitmapFrameDecode* frame) noexcept;

}  // namespace quorvel
