// Pictures the leak, concurrency and settings passes decode: every kind of fixture in
// several orientations, and inputs that fail at each stage (not a TIFF, cut short,
// sizes too large for the build).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stress {

struct NamedInput {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Pictures the imaging component decodes, of distinct kinds and orientations.
std::vector<NamedInput> GoodPictures(std::uint32_t width, std::uint32_t height);
// Inputs every call must refuse cleanly.
std::vector<NamedInput> FailingInputs(const std::wstring& dataFolder);

}  // namespace stress
