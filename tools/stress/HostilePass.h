// The hostile-input pass. Cases run in worker processes (this program started again with
// --worker), because a crash inside the imaging component must be recorded, not end the
// run: the supervisor reads the crashed case from shared memory, saves its input, and
// starts a new worker at the next case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostCalls.h"
#include "Mutator.h"

namespace stress {

struct Crash {
  std::uint64_t index = 0;
  std::string what;       // the input
  std::string stage;      // the call
  std::string module;     // where the fault was
  std::uint32_t code = 0;
  std::uint64_t offset = 0;  // of the faulting address in module
  bool inComponent = false;  // inside the imaging component itself
  std::wstring savedAs;
};

struct HostileReport {
  std::uint64_t cases = 0;
  Tally tally;
  std::vector<std::string> wrong;  // "case N (input): call: what was wrong"
  std::vector<Crash> crashes;
  double seconds = 0;
};

struct HostileOptions {
  std::uint64_t seed = 1;
  std::uint64_t first = 0;  // the first case to run
  std::uint64_t cases = 0;  // the end of the run (0: as many as time allows)
  double seconds = 0;       // 0: no time limit
  std::wstring findings;    // folder for the inputs of crashes and wrong answers
  bool noOrientation = false;  // workers run with the orientation setting off
  // Before the plug-in's calls, each case's first directory is also asked of the
  // component's own metadata reader and compared with the plug-in's reader. Under Wine
  // that reader crashes on some damaged directories: a fault of another module's on
  // purpose, to show that crashes are traced to the module they happen in.
  bool compareReaders = false;
};

HostileReport RunHostilePass(const Mutator& mutator, const HostileOptions& options);

// The worker's side: cases [from, to) of seed, reporting through the named shared memory.
int RunHostileWorker(const Mutator& mutator, std::uint64_t seed, std::uint64_t from, std::uint64_t to,
                     double deadline, const std::wstring& sharedName, const std::wstring& findings,
                     bool compareReaders);

// One case in this process, described on stdout (for reproducing a finding).
int RunOneCase(const Mutator& mutator, std::uint64_t seed, std::uint64_t index, const std::wstring& saveAs);

}  // namespace stress
