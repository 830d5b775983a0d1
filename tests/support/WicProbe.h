// Direct questions to the imaging component, so that tests can tell its own limits apart
// from the plug-in's behaviour: the frame's format and resolution, and whether it converts.
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

// Whether the component converts frame 0 into target and copies its pixels.
bool ComponentConverts(const std::vector<std::uint8_t>& file, const GUID& target);

bool SameGuid(const GUID& a, const GUID& b);

// The published pixel-format GUIDs the tests name.
extern const GUID kWic2bppIndexed, kWic4bppIndexed, kWic8bppIndexed, kWic2bppGray, kWic4bppGray, kWic24bppBGR, kWic24bppRGB,
    kWic32bppBGR, kWic32bppBGRA;

}  // namespace testsupport
