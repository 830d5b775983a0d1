// Writes the fixtures that a host of someone else's decodes as files: every kind of
// picture the end-to-end tests decode, the orientations 1 to 8 among them, in strips and
// in tiles, LZW and uncompressed, plus a file that is not a TIFF and a damaged one.
//
//   write_fixture_files FOLDER      one file per line on standard output, as written
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "TiffFixtures.h"

namespace {

bool Write(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_fixture_files FOLDER\n");
    return 2;
  }
  std::wstring folder = argv[1];
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  CreateDirectoryW(folder.c_str(), nullptr);

  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  int index = 0;
  // 37 x 23: rows and tiles that end part-way, and several strips or tile rows each.
  for (testsupport::TiffFixture f : testsupport::AllTiffFixtures(37, 23)) {
    const int orientation = index % 8 + 1;
    f.page.orientation = orientation;
    const bool tiled = index % 2 == 1;
    if (tiled) {
      f.page.tileWidth = 16;
      f.page.tileLength = 16;
    } else {
      f.page.rowsPerStrip = 5;
    }
    f.page.compression = index % 3 == 0 ? 5 : 1;
    files.emplace_back(f.name + "-o" + std::to_string(orientation) + (tiled ? "-tiles" : "-strips") +
                           (f.page.compression == 5 ? "-lzw" : "") + ".tif",
                       testsupport::WriteTiff(f.page));
    ++index;
  }
  // Damaged two ways: cut before its directory, so nothing reads it; and its first LZW
  // strip overwritten, so the directory reads and the pixels do not.
  auto cut = testsupport::WriteTiff(testsupport::TiffFixtureNamed("rgb8", 37, 23).page);
  cut.resize(cut.size() / 2);
  files.emplace_back("damaged-cut.tif", cut);
  testsupport::TiffPage lzw = testsupport::TiffFixtureNamed("rgb8", 37, 23).page;
  lzw.compression = 5;
  lzw.rowsPerStrip = 8;
  auto garbled = testsupport::WriteTiff(lzw);
  const std::uint32_t strip = testsupport::StripOffsetsOf(garbled).at(0);
  for (std::uint32_t i = 0; i < 16 && strip + i < garbled.size(); ++i) garbled[strip + i] = 0xFF;
  files.emplace_back("damaged-lzw-strip.tif", garbled);
  files.emplace_back("not-tiff.png", testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png"));

  for (const auto& [name, bytes] : files) {
    if (!Write(folder + std::wstring(name.begin(), name.end()), bytes)) {
      std::fprintf(stderr, "write_fixture_files: cannot write %s\n", name.c_str());
      return 1;
    }
    std::printf("%s\n", name.c_str());
  }
  return 0;
}
