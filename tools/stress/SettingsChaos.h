// The settings pass: one thread writes the plug-in's registry values with every wrong
// type and size (and deletes them, and the key) while other threads decode. Every
// decode must succeed with a well-formed picture; the user's settings are put back
// afterwards exactly as they were.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stress {

struct ChaosReport {
  std::uint64_t writes = 0;
  std::uint64_t decodes = 0;
  std::vector<std::string> wrong;
  double seconds = 0;
};

ChaosReport RunSettingsChaos(double seconds, int decoders, std::uint64_t seed);

}  // namespace stress
