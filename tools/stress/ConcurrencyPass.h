// The concurrency pass: threads decoding different pictures at once must each get the
// bytes a sequential decode gives; and, with the plug-in freshly loaded each time,
// several threads making their first calls together (the format table and the
// extension pattern are built once, by whichever comes first).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stress {

struct ConcurrencyReport {
  int threads = 0;
  std::uint64_t decodes = 0;    // concurrent ones compared with the sequential result
  std::uint64_t reloads = 0;    // fresh loads with simultaneous first calls
  std::uint64_t firstCalls = 0;
  std::vector<std::string> wrong;
  double seconds = 0;
};

ConcurrencyReport RunConcurrencyPass(int threads, std::uint64_t rounds, std::uint64_t reloads);

}  // namespace stress
