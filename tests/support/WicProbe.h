// Direct questions to the imaging component, so that tests can tell its own limits apart
// from the plug-in's behaviour: whether it opens a picture, and its frame's format and resolution.
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

}  // namespace testsupport
