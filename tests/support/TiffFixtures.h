// TIFF fixtures of every kind the plug-in must deliver, each with the colour every stored
// pixel must show (composited on white where it has alpha), for end-to-end tests and the
// stress and benchmark programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PictureModel.h"
#include "TiffWriter.h"

namespace testsupport {

struct TiffFixture {
  std::string name;
  TiffPage page;
  std::function<Bgr(std::uint32_t x, std::uint32_t y)> color;  // on white
  int depth;         // delivered bits per pixel when the component has every conversion, unturned
  int turnedDepth;   // the same with a quarter or half turn pending
  bool componentMayRefuse = false;  // formats some imaging components cannot open at all
};

// width x height pictures of every kind; orientation (if any) is added by the caller.
std::vector<TiffFixture> AllTiffFixtures(std::uint32_t width, std::uint32_t height);

// One fixture by name from AllTiffFixtures.
TiffFixture TiffFixtureNamed(const std::string& name, std::uint32_t width, std::uint32_t height);

}  // namespace testsupport
