// StressInputs: built with the fixture writer, so no pass depends on files on disk but
// the data folder's non-TIFF sample.
#include "StressInputs.h"

#include "TestEnvironment.h"
#include "TiffFixtures.h"

namespace stress {

std::vector<NamedInput> GoodPictures(std::uint32_t width, std::uint32_t height) {
  // Kinds Wine's component decodes in full; each with its own orientation.
  const std::pair<const char*, std::uint32_t> kinds[] = {{"rgba8", 6},   {"palette8", 8}, {"grey16", 3},      {"rgb8", 5},
                                                          {"rgba16", 7}, {"grey8-alpha", 2}, {"palette4", 1}, {"rgb16", 6},
                                                          {"grey1", 4},  {"rgba8-premultiplied", 1}};
  std::vector<NamedInput> out;
  for (const auto& [kind, orientation] : kinds) {
    auto fixture = testsupport::TiffFixtureNamed(kind, width, height);
    fixture.page.orientation = orientation;
    fixture.page.rowsPerStrip = 7;
    if (out.size() % 2) fixture.page.compression = 5;
    out.push_back({std::string(kind) + " orientation " + std::to_string(orientation), testsupport::WriteTiff(fixture.page)});
  }
  return out;
}

std::vector<NamedInput> FailingInputs(const std::wstring& dataFolder) {
  std::vector<NamedInput> out;
  out.push_back({"a PNG", testsupport::ReadFileBytes(dataFolder + L"not-tiff.png")});
  auto rgb = testsupport::TiffFixtureNamed("rgb8", 64, 40);
  rgb.page.rowsPerStrip = 8;
  auto whole = testsupport::WriteTiff(rgb.page);
  // The directory comes after the strips: cut in the strips it is gone, cut in the
  // directory its entries are partly there.
  out.push_back({"cut in the strips", std::vector<std::uint8_t>(whole.begin(), whole.begin() + whole.size() / 3)});
  out.push_back({"cut in the directory", std::vector<std::uint8_t>(whole.begin(), whole.end() - 40)});
  auto huge = rgb.page;
  huge.rawTags.push_back({256, testsupport::TiffType::kLong, 1, {0x70, 0x11, 0x01, 0x00}});  // 70000
  huge.rawTags.push_back({257, testsupport::TiffType::kLong, 1, {0x70, 0x11, 0x01, 0x00}});
  out.push_back({"70000 x 70000 with the strips of 64 x 40", testsupport::WriteTiff(huge)});
  auto tall = rgb.page;
  tall.rawTags.push_back({256, testsupport::TiffType::kLong, 1, {1, 0, 0, 0}});
  tall.rawTags.push_back({257, testsupport::TiffType::kLong, 1, {0, 0, 0, 0x80}});  // 2^31
  out.push_back({"1 x 2^31", testsupport::WriteTiff(tall)});
  out.push_back({"eight bytes of header", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 8)});
  return out;
}

}  // namespace stress
