// Hostile inputs, each made from a seed and its index alone: the first cases walk every
// listed attack systematically (every strip boundary of every seed file, enormous and zero
// sizes, every type of orientation tag, short palettes, ...), later ones combine random
// structural and byte-wise damage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TiffWriter.h"

namespace stress {

// A file the mutations start from; page is set when it came from the fixture writer, so
// that it can be written again with damaged tags.
struct SeedFile {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::optional<testsupport::TiffPage> page;
};

struct HostileInput {
  std::string what;
  std::vector<std::uint8_t> bytes;
};

// The writer's fixtures of every kind (small, several strips, plain and LZW, both byte
// orders) and the independent tools' files of the data folder.
std::vector<SeedFile> MakeSeedFiles(const std::wstring& dataFolder);

class Mutator {
 public:
  explicit Mutator(std::vector<SeedFile> seeds);

  // Deterministic in (seed, index).
  HostileInput Make(std::uint64_t seed, std::uint64_t index) const;
  std::uint64_t SystematicCases() const { return systematic_.size(); }
  std::size_t SeedCount() const { return seeds_.size(); }

 private:
  struct Planned {
    std::size_t seed;
    int attack;
    std::uint64_t parameter;
  };
  HostileInput Systematic(const Planned& plan) const;
  HostileInput Random(std::uint64_t seed, std::uint64_t index) const;

  std::vector<SeedFile> seeds_;
  std::vector<Planned> systematic_;
};

}  // namespace stress
