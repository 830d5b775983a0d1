// Prints, for each file, the first directory's facts as the plug-in reads them and as the
// imaging component's metadata query reader answers them, one file after the other, so
// that a caller can tell a file on which the component crashes (its "component" line
// never comes) from one on which the two readers differ.
//
//   compare_directory_readers FILE...
//   FILE <name>
//   ours <known> <orientation> <stripRows> <tileWidth>
//   component <orientation> <stripRows> <tileWidth>   or   component none
#include <windows.h>

#include <cstdio>
#include <string>

#include "TestEnvironment.h"
#include "WicProbe.h"
#include "decode/TiffDirectory.h"

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(argv[i]);
    std::printf("FILE %ls\n", argv[i]);
    quorvel::MemoryDirectoryInput input(bytes.data(), bytes.size());
    const quorvel::DirectoryFacts ours = quorvel::ReadFirstDirectory(input);
    std::printf("ours %d %u %u %u\n", ours.known ? 1 : 0, ours.orientation, ours.stripRows, ours.tileWidth);
    std::fflush(stdout);
    if (const auto component = testsupport::ProbeDirectory(bytes))
      std::printf("component %u %u %u\n", component->orientation, component->stripRows, component->tileWidth);
    else
      std::printf("component none\n");
    std::fflush(stdout);
  }
  return 0;
}
