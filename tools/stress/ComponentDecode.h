// The imaging component on its own: decodes frame 0 of some bytes several times, each
// into a zeroed buffer in the frame's own pixel format, to tell whether the component
// itself gives different pixels from the same bytes (then a plug-in that passes its
// pixels on cannot give the same picture twice either).
#pragma once

#include <cstdint>
#include <vector>

namespace stress {

// True when two of `decodes` decodes by the component alone gave different pixels.
// False when they agree, or when the component cannot decode the bytes at all.
bool ComponentGivesDifferentPixels(const std::vector<std::uint8_t>& bytes, int decodes = 4);

}  // namespace stress
