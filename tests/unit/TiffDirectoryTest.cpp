// The first directory read from the bytes: the orientation tag only as one SHORT, the
// strip and tile layout as one SHORT or LONG, either byte order; nothing from a directory
// that does not lie wholly inside the input; the same facts from a file as from memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "Plugin.h"
#include "TestEnvironment.h"
#include "TiffFixtures.h"
#include "WicProbe.h"
#include "common/Owners.h"
#include "decode/SourceDirectory.h"
#include "decode/TiffDirectory.h"

namespace quorvel {
namespace {

using testsupport::RawTag;
using testsupport::TiffType;

DirectoryFacts Read(const std::vector<std::uint8_t>& bytes) {
  // A block of exactly the input's size, so that a read past it is a read past the block.
  std::vector<std::uint8_t> exact(bytes);
  exact.shrink_to_fit();
  MemoryDirectoryInput input(exact.empty() ? nullptr : exact.data(), exact.size());
  return ReadFirstDirectory(input);
}

testsupport::TiffPage Grey() { return testsupport::TiffFixtureNamed("grey8", 20, 12).page; }

std::vector<std::uint8_t> Bytes(std::uint64_t value, std::size_t size, bool big) {
  std::vector<std::uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (big ? size - 1 - i : i)));
  return out;
}

TEST(TiffDirectory, TheOrientationIsOneShortInEitherByteOrder) {
  for (const bool big : {false, true}) {
    for (const std::uint32_t value : {0u, 1u, 3u, 6u, 8u, 9u, 0xFFFFu}) {
      auto page = Grey();
      page.orientation = value;
      const DirectoryFacts facts = Read(testsupport::WriteTiff(page, big));
      EXPECT_TRUE(facts.known);
      EXPECT_EQ(facts.orientation, value) << value << (big ? " big-endian" : "");
    }
    // Any other type, and a count of more than one, is no orientation (the component's
    // query answers VT_UI2 only for a single SHORT; with a count of none it reads the
    // value field all the same).
    for (const TiffType type : {TiffType::kByte, TiffType::kLong, TiffType::kSShort, TiffType::kSLong,
                                TiffType::kUndefined, TiffType::kRational, TiffType::kAscii}) {
      auto page = Grey();
      page.orientation = 6;
      page.orientationType = type;
      EXPECT_EQ(Read(testsupport::WriteTiff(page, big)).orientation, 0) << static_cast<int>(type);
    }
    for (const std::uint32_t count : {0u, 2u, 40000u}) {
      auto page = Grey();
      std::vector<std::uint8_t> value = Bytes(6, 2, big);
      value.resize(std::max<std::size_t>(2 * count, 2), 0);
      page.rawTags.push_back({274, TiffType::kShort, count, value});
      EXPECT_EQ(Read(testsupport::WriteTiff(page, big)).orientation, count == 0 ? 6 : 0) << "count " << count;
    }
    EXPECT_EQ(Read(testsupport::WriteTiff(Grey(), big)).orientation, 0) << "no tag";
  }
}

TEST(TiffDirectory, StripsAndTilesGiveTheRowsDecodedTogether) {
  for (const bool big : {false, true}) {
    auto page = Grey();
    page.rowsPerStrip = 5;
    DirectoryFacts facts = Read(testsupport::WriteTiff(page, big));
    EXPECT_EQ(facts.stripRows, 5u);
    EXPECT_EQ(facts.tileWidth, 0u);
    page.tileWidth = 16;
    page.tileLength = 32;
    facts = Read(testsupport::WriteTiff(page, big));
    EXPECT_EQ(facts.stripRows, 32u) << "the tile length, not RowsPerStrip";
    EXPECT_EQ(facts.tileWidth, 16u);
    // SHORT as well as LONG; another type or count says nothing.
    page = Grey();
    page.rawTags.push_back({278, TiffType::kShort, 1, Bytes(7, 2, big)});
    EXPECT_EQ(Read(testsupport::WriteTiff(page, big)).stripRows, 7u);
    page.rawTags.back() = {278, TiffType::kLong, 2, Bytes(7, 4, big)};
    page.rawTags.back().value.resize(8, 0);
    EXPECT_EQ(Read(testsupport::WriteTiff(page, big)).stripRows, 0u);
    page.rawTags.back() = {278, TiffType::kByte, 1, {7, 0, 0, 0}};
    EXPECT_EQ(Read(testsupport::WriteTiff(page, big)).stripRows, 0u);
  }
}

// Damaged entries out of order: the first of each tag counts.
TEST(TiffDirectory, TheFirstEntryOfATagCounts) {
  auto page = Grey();
  page.orientation = 6;
  auto bytes = testsupport::WriteTiff(page);
  const std::uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<std::uint32_t>(bytes[7]) << 24;
  const std::uint32_t count = bytes[ifd] | bytes[ifd + 1] << 8;
  // Every entry after the orientation's becomes a second orientation entry of value 3.
  bool after = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* e = bytes.data() + ifd + 2 + 12 * i;
    if (after) std::memcpy(e, "\x12\x01\x03\x00\x01\x00\x00\x00\x03\x00\x00\x00", 12);
    if ((e[0] | e[1] << 8) == 274) after = true;
  }
  EXPECT_EQ(Read(bytes).orientation, 6);
}

TEST(TiffDirectory, NothingOutsideTheInputIsRead) {
  auto page = Grey();
  page.orientation = 6;
  const auto whole = testsupport::WriteTiff(page);
  // The directory is the file's last part: every cut into it leaves no facts.
  const std::uint32_t ifd = whole[4] | whole[5] << 8 | whole[6] << 16 | static_cast<std::uint32_t>(whole[7]) << 24;
  const std::uint32_t entriesEnd = ifd + 2 + 12 * (whole[ifd] | whole[ifd + 1] << 8);
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const DirectoryFacts facts = Read(std::vector<std::uint8_t>(whole.begin(), whole.begin() + size));
    EXPECT_EQ(facts.known, size >= entriesEnd) << size;
    if (facts.known) {
      EXPECT_EQ(facts.orientation, 6);
    }
  }
  EXPECT_TRUE(Read(whole).known);

  const auto patched = [&](std::size_t at, std::vector<std::uint8_t> with) {
    auto b = whole;
    std::copy(with.begin(), with.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return Read(b);
  };
  EXPECT_FALSE(patched(4, {0xFF, 0xFF, 0xFF, 0xFF}).known) << "directory beyond the input";
  const auto last = static_cast<std::uint32_t>(whole.size() - 1);
  EXPECT_FALSE(patched(4, {static_cast<std::uint8_t>(last), static_cast<std::uint8_t>(last >> 8),
                           static_cast<std::uint8_t>(last >> 16), static_cast<std::uint8_t>(last >> 24)})
                   .known)
      << "the entry count's second byte beyond the input";
  EXPECT_FALSE(patched(ifd, {0xFF, 0xFF}).known) << "65,535 entries";
  EXPECT_FALSE(patched(2, {43, 0}).known) << "BigTIFF";
  EXPECT_FALSE(patched(0, {'I', 'M'}).known) << "no byte order";
  EXPECT_FALSE(patched(2, {0, 42}).known) << "42 in the other byte order";
  EXPECT_TRUE(patched(ifd, {0, 0}).known) << "a directory of no entries says nothing, safely";
  // Found by the fuzzer (as a fault of its own check): a directory inside the header.
  EXPECT_TRUE(Read({'I', 'I', 42, 0, 5, 0, 0, 0}).known);
  EXPECT_FALSE(Read({'I', 'I', 42, 0, 4, 0, 0, 0}).known) << "its own offset read as 4 entries";
  EXPECT_FALSE(Read({}).known);
  MemoryDirectoryInput none(nullptr, 100);
  EXPECT_FALSE(ReadFirstDirectory(none).known);
}

TEST(TiffDirectory, AFileGivesTheFactsItsBytesGive) {
  auto page = testsupport::TiffFixtureNamed("rgb8", 40, 40).page;
  page.orientation = 8;
  page.tileWidth = page.tileLength = 16;
  const auto bytes = testsupport::WriteTiff(page, true);
  const testsupport::TempFile file(bytes);
  const DirectoryFacts fromFile = ReadSourceDirectory(ImageSource::File(file.Path().c_str()));
  const DirectoryFacts fromMemory =
      ReadSourceDirectory(ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size())));
  for (const DirectoryFacts& f : {fromFile, fromMemory}) {
    EXPECT_TRUE(f.known);
    EXPECT_EQ(f.orientation, 8);
    EXPECT_EQ(f.stripRows, 16u);
    EXPECT_EQ(f.tileWidth, 16u);
  }
  const std::wstring missing = testsupport::UniqueTempPath(L".tif");
  EXPECT_FALSE(ReadSourceDirectory(ImageSource::File(missing.c_str())).known);
  EXPECT_FALSE(ReadSourceDirectory(ImageSource::File(L"")).known);
  EXPECT_FALSE(ReadSourceDirectory(ImageSource::Memory(bytes.data(), -1)).known);
  // The last four bytes are the link to the next directory; one more cuts the entries.
  const testsupport::TempFile cut(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 5));
  EXPECT_FALSE(ReadSourceDirectory(ImageSource::File(cut.Path().c_str())).known);
}

std::string Describe(std::uint16_t orientation, std::uint32_t stripRows, std::uint32_t tileWidth) {
  return std::to_string(orientation) + " " + std::to_string(stripRows) + " " + std::to_string(tileWidth);
}

// Every kind of fixture, every orientation, strips and tiles, both byte orders, and the
// orientation in other types and counts: where the component's reader answers, the two
// agree. (The component reads these safely.)
TEST(TiffDirectory, AgreesWithTheComponentsReaderOnEveryFixture) {
  std::vector<testsupport::TiffPage> pages;
  for (const testsupport::TiffFixture& f : testsupport::AllTiffFixtures(37, 20))
    for (std::uint32_t orientation = 1; orientation <= 8; ++orientation) {
      testsupport::TiffPage p = f.page;
      p.orientation = orientation;
      p.rowsPerStrip = orientation % 2 ? 6 : 0;
      if (orientation % 4 == 0) p.tileWidth = p.tileLength = 16;
      pages.push_back(p);
    }
  for (const TiffType type : {TiffType::kByte, TiffType::kLong, TiffType::kSShort, TiffType::kUndefined}) {
    testsupport::TiffPage p = Grey();
    p.orientation = 6;
    p.orientationType = type;
    pages.push_back(p);
  }
  int compared = 0;
  for (const bool big : {false, true}) {
    std::vector<testsupport::TiffPage> all = pages;
    for (const std::uint32_t count : {0u, 2u}) {
      testsupport::TiffPage p = Grey();
      std::vector<std::uint8_t> value = Bytes(6, 2, big);
      value.resize(std::max<std::size_t>(2 * count, 2), 0);
      p.rawTags.push_back({274, TiffType::kShort, count, value});
      all.push_back(p);
      for (const TiffType type : {TiffType::kShort, TiffType::kLong}) {
        testsupport::TiffPage q = Grey();
        std::vector<std::uint8_t> rows = Bytes(5, type == TiffType::kShort ? 2 : 4, big);
        rows.resize(std::max<std::size_t>(rows.size() * std::max(count, 1u), 4), 0);
        q.rawTags.push_back({278, type, count, rows});
        all.push_back(q);
      }
    }
    for (const testsupport::TiffPage& page : all) {
      const auto bytes = testsupport::WriteTiff(page, big);
      const auto component = testsupport::ProbeDirectory(bytes);
      if (!component) continue;  // kinds the component cannot open
      const DirectoryFacts ours = Read(bytes);
      EXPECT_EQ(Describe(ours.orientation, ours.stripRows, ours.tileWidth),
                Describe(component->orientation, component->stripRows, component->tileWidth))
          << page.bitsPerSample << "x" << page.samplesPerPixel << " orientation " << page.orientation.value_or(0)
          << (page.rawTags.empty() ? "" : " count " + std::to_string(page.rawTags[0].count)) << (big ? " big-endian" : "");
      ++compared;
    }
  }
  EXPECT_GT(compared, 250);
}

// The real-world files, each asked in a process of its own, since Wine's reader crashes
// on some: a file whose "component" line never comes is the component's crash.
TEST(TiffDirectory, AgreesWithTheComponentsReaderOnTheCorpus) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found{};
  const std::wstring folder = testsupport::CorpusFolder();
  const HANDLE search = FindFirstFileW((folder + L"*.tif*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no corpus at " << std::string(folder.begin(), folder.end());
  do files.push_back(folder + found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);

  std::set<std::wstring> answered, crashed;
  std::size_t next = 0;
  while (next < files.size()) {
    std::wstring command = L"\"" + hostkit::ProgramFolder() + L"compare_directory_readers.exe\"";
    for (std::size_t i = next; i < files.size(); ++i) command += L" \"" + files[i] + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    const KernelHandle reader(readEnd);
    KernelHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child));
    const KernelHandle process(child.hProcess), thread(child.hThread);
    writer.Reset();
    std::string out;
    char buffer[4096];
    for (DWORD n = 0; ReadFile(reader.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0;) out.append(buffer, n);
    WaitForSingleObject(process.Get(), INFINITE);

    std::istringstream lines(out);
    std::string line, file;
    std::string ours;
    std::size_t at = next;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("FILE ", 0) == 0) {
        file = line.substr(5);
        ours.clear();
      } else if (line.rfind("ours ", 0) == 0) {
        ours = line.substr(5);
      } else if (line.rfind("component ", 0) == 0) {
        answered.insert(files[at]);
        const std::string component = line.substr(10);
        if (component != "none") {
          EXPECT_EQ(ours.substr(2), component) << file;
        }
        ++at;
      }
    }
    // The child ended inside a file: the component's reader crashed on it.
    if (at < files.size()) crashed.insert(files[at++]);
    next = at;
  }
  for (const std::wstring& f : crashed)
    std::printf("[ component ] its metadata reader crashed on %ls\n", f.c_str());
  EXPECT_GE(answered.size(), files.size() / 2);
  EXPECT_LE(crashed.size(), 2u) << "Wine's reader crashes on the directory loop only";
}

}  // namespace
}  // namespace quorvel
