// Direct questions to the imaging component, so that tests can tell its own limits apart
// from the plug-in's behaviour: whether it opens a picture, its frame's format and
// resolution, and what its metadata query reader answers for the first directory.
#pragma once

#include <guiddef.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace testsupport {

struct FrameFacts {
  GUID format{};
  double dpiX = 0, dpiY = 0;
  unsigned width = 0, height = 0;
};

// Facts of frame 0 of an encoded picture; none when the component cannot open it.
std::optional<FrameFacts> ProbeFrame(const std::vector<std::uint8_t>& file);

// The component's metadata query reader on frame 0, asked as the plug-in once asked it:
// "/ifd/{ushort=274}" counts when it answers VT_UI2; TileLength (323), else RowsPerStrip
// (278), and TileWidth (322) when they answer VT_UI2 or VT_UI4; 0 for anything else.
struct ComponentDirectory {
  std::uint16_t orientation = 0;
  std::uint32_t stripRows = 0;
  std::uint32_t tileWidth = 0;
};
// None when the component opens no frame or gives it no query reader. Wine's component
// crashes here on some damaged directories.
std::optional<ComponentDirectory> ProbeDirectory(const std::vector<std::uint8_t>& file);

}  // namespace testsupport
