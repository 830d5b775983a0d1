// What the host tool says about a failed call besides the result code: the missing, empty
// or truncated file, the imaging component's own error by name, the other build's plug-in.
#include <gtest/gtest.h>

#include <windows.h>

#include "FailureClues.h"
#include "TestEnvironment.h"
#include "TiffFixtures.h"

namespace {

using testsupport::TempFile;

TEST(HostToolClues, NameWhatIsWrongWithTheFile) {
  EXPECT_EQ(spihost::WhyTheFileFails(testsupport::UniqueTempPath(L".tif")), "the file does not exist");
  const TempFile empty(std::vector<std::uint8_t>{});
  EXPECT_EQ(spihost::WhyTheFileFails(empty.Path()), "the file is empty");

  const auto whole = testsupport::WriteTiff(testsupport::TiffFixtureNamed("rgb8", 64, 48).page);
  const TempFile good(whole);
  EXPECT_EQ(spihost::WhyTheFileFails(good.Path()), "") << "a file the component reads has nothing to explain";

  // Cut in the pixels or in the directory: either way the component's step and error.
  for (std::size_t keep : {whole.size() / 2, whole.size() - 20, std::size_t{12}}) {
    const TempFile cut(std::vector<std::uint8_t>(whole.begin(), whole.begin() + keep));
    const std::string clue = spihost::WhyTheFileFails(cut.Path());
    EXPECT_NE(clue.find("the imaging component cannot read it: "), std::string::npos) << keep << " bytes: " << clue;
    EXPECT_NE(clue.find(" failed with "), std::string::npos) << clue;
  }

  const std::string jpeg = spihost::WhyTheFileFails(testsupport::DataFolder() + L"not-tiff.jpg");
  EXPECT_EQ(jpeg.rfind("not a TIFF file", 0), 0u) << jpeg;
}

TEST(HostToolClues, NameTheComponentsErrors) {
  EXPECT_EQ(spihost::HresultName(WINCODEC_ERR_COMPONENTNOTFOUND), "WINCODEC_ERR_COMPONENTNOTFOUND (0x88982F50)");
  EXPECT_EQ(spihost::HresultName(WINCODEC_ERR_STREAMREAD), "WINCODEC_ERR_STREAMREAD (0x88982F72)");
  EXPECT_EQ(spihost::HresultName(E_OUTOFMEMORY), "E_OUTOFMEMORY (0x8007000E)");
  EXPECT_EQ(spihost::HresultName(static_cast<HRESULT>(0x80041234)), "0x80041234");
}

// A file with nothing but the headers that say which machine a PE file is for.
std::vector<std::uint8_t> PeHeadersFor(WORD machine) {
  std::vector<std::uint8_t> bytes(0x40 + 4 + sizeof(IMAGE_FILE_HEADER), 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[0x3C] = 0x40;
  bytes[0x40] = 'P';
  bytes[0x41] = 'E';
  bytes[0x44] = static_cast<std::uint8_t>(machine);
  bytes[0x45] = static_cast<std::uint8_t>(machine >> 8);
  return bytes;
}

TEST(HostToolClues, TellAPluginOfTheOtherBuild) {
  const bool own64 = sizeof(void*) == 8;
  const TempFile other(PeHeadersFor(own64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64), L".spi");
  const std::string why = spihost::WhyThePluginDoesNotLoad(other.Path(), ERROR_BAD_EXE_FORMAT);
  EXPECT_NE(why.find(own64 ? "a 32-bit plug-in" : "a 64-bit plug-in"), std::string::npos) << why;
  EXPECT_NE(why.find(own64 ? "spihost --x86" : "spihost --x64"), std::string::npos) << why;

  const TempFile text(std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}, L".spi");
  EXPECT_EQ(spihost::WhyThePluginDoesNotLoad(text.Path(), ERROR_BAD_EXE_FORMAT), "it is not a Windows DLL");
  EXPECT_EQ(spihost::WhyThePluginDoesNotLoad(testsupport::UniqueTempPath(L".spi"), ERROR_MOD_NOT_FOUND),
            "the file does not exist");
}

}  // namespace
