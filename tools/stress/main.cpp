// stress: the plug-in loaded as a host loads it, fed hostile files, run for leaks, on
// many threads at once and under changing settings. Reproducible from its seed.
//
//   stress [--seed N] [--first N] [--cases N | --seconds S] [--leak-rounds N] [--threads N]
//          [--rounds N] [--reloads N] [--reload-cycles N] [--chaos-seconds S]
//          [--only hostile|leaks|threads|reloads|settings] [--findings FOLDER]
//   stress --case N [--seed N] [--save FILE]     one hostile case, described
//
// The hostile cases start with the systematic ones (every attack on every seed file),
// then random ones; --cases counts both, and --first starts that many cases later. Inputs
// of crashes and wrong answers are saved in the findings folder (stress-findings beside
// the program unless given). The exit code is 0 only when every pass holds: every
// answer a result code and well formed, no crash but inside the imaging component
// itself (recorded), no leak, identical concurrent pictures.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ConcurrencyPass.h"
#include "HostilePass.h"
#include "LeakPass.h"
#include "Mutator.h"
#include "Plugin.h"
#include "ReloadPass.h"
#include "ScratchUserKey.h"
#include "SettingsChaos.h"
#include "settings/SettingsKey.h"
#include "TestEnvironment.h"

namespace {

struct Options {
  std::uint64_t seed = 1;
  std::uint64_t first = 0;
  std::uint64_t cases = 0;
  double seconds = 0;
  std::uint64_t leakRounds = 2000;
  int threads = 8;
  std::uint64_t rounds = 20;
  std::uint64_t reloads = 10;
  std::uint64_t reloadCycles = stress::kCyclesBeyondTlsSlots;
  double chaosSeconds = 5;
  std::wstring only;
  std::wstring findings;
  // Worker and single-case modes.
  bool worker = false;
  std::uint64_t from = 0, to = 0;
  double deadline = 0;
  std::wstring shared;
  long long oneCase = -1;
  std::wstring saveAs;
  bool noOrientation = false;
  bool compareReaders = false;
  bool expectComponentCrash = false;
};

bool Parse(int argc, wchar_t** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    const auto value = [&]() -> const wchar_t* { return i + 1 < argc ? argv[++i] : L""; };
    const auto number = [&] { return std::wcstoull(value(), nullptr, 10); };
    if (a == L"--seed") o.seed = number();
    else if (a == L"--cases") o.cases = number();
    else if (a == L"--first") o.first = number();
    else if (a == L"--seconds") o.seconds = std::wcstod(value(), nullptr);
    else if (a == L"--leak-rounds") o.leakRounds = number();
    else if (a == L"--threads") o.threads = static_cast<int>(number());
    else if (a == L"--rounds") o.rounds = number();
    else if (a == L"--reloads") o.reloads = number();
    else if (a == L"--reload-cycles") o.reloadCycles = number();
    else if (a == L"--chaos-seconds") o.chaosSeconds = std::wcstod(value(), nullptr);
    else if (a == L"--only") o.only = value();
    else if (a == L"--findings") o.findings = value();
    else if (a == L"--worker") o.worker = true;
    else if (a == L"--from") o.from = number();
    else if (a == L"--to") o.to = number();
    else if (a == L"--deadline") o.deadline = static_cast<double>(number());
    else if (a == L"--shared") o.shared = value();
    else if (a == L"--case") o.oneCase = static_cast<long long>(number());
    else if (a == L"--save") o.saveAs = value();
    else if (a == L"--plugin") hostkit::UseDefaultPluginName(value());
    else if (a == L"--no-orientation") o.noOrientation = true;
    else if (a == L"--compare-readers") o.compareReaders = true;
    else if (a == L"--expect-component-crash") o.expectComponentCrash = true;
    else return false;
  }
  if (o.threads < 1) o.threads = 1;
  return true;
}

bool Wanted(const Options& o, const wchar_t* pass) { return o.only.empty() || o.only == pass; }

int PrintWrong(const std::vector<std::string>& wrong) {
  for (const auto& w : wrong) std::printf("    WRONG: %s\n", w.c_str());
  return wrong.empty() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The settings chaos pass rewrites the plug-in's settings: never the user's own.
  const testsupport::ScratchUserKey scratch;
  if (!scratch.Active()) {
    std::fprintf(stderr, "stress: cannot redirect HKEY_CURRENT_USER to a scratch key\n");
    return 2;
  }
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: stress [--seed N] [--first N] [--cases N | --seconds S] [--leak-rounds N] [--threads N] [--rounds N]\n"
                         "              [--reloads N] [--reload-cycles N] [--chaos-seconds S]\n"
                         "              [--only hostile|leaks|threads|reloads|settings] [--findings DIR]\n"
                         "              [--plugin FILE]   (another build of the plug-in, in this program's folder)\n"
                         "              [--no-orientation]   (the orientation setting off)\n"
                         "              [--compare-readers [--expect-component-crash]]   (each case's directory also asked of\n"
                         "                   the component's own metadata reader, which under Wine crashes on some)\n"
                         "       stress --case N [--seed N] [--save FILE]\n");
    return 2;
  }
  if (o.findings.empty()) o.findings = hostkit::ProgramFolder() + L"stress-findings";
  if (o.noOrientation) {
    const DWORD off = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath, L"exif_orientation", REG_DWORD, &off,
                    sizeof(off));
  }
  const stress::Mutator mutator(stress::MakeSeedFiles(testsupport::DataFolder()));
  if (o.worker)
    return stress::RunHostileWorker(mutator, o.seed, o.from, o.to, o.deadline, o.shared, o.findings, o.compareReaders);
  if (o.oneCase >= 0) return stress::RunOneCase(mutator, o.seed, static_cast<std::uint64_t>(o.oneCase), o.saveAs);

  const std::wstring& plugin = hostkit::DefaultPluginName();
  std::printf("Quorvel stress, %s build, seed %llu, %s\n", sizeof(void*) == 8 ? "64-bit" : "32-bit",
              static_cast<unsigned long long>(o.seed), std::string(plugin.begin(), plugin.end()).c_str());
  std::fflush(stdout);
  int failed = 0;

  if (Wanted(o, L"hostile")) {
    stress::HostileOptions h{o.seed, o.first, o.cases, o.seconds, o.findings, o.noOrientation, o.compareReaders};
    if (!h.cases && h.seconds <= 0) h.cases = mutator.SystematicCases() + 500;
    const auto r = stress::RunHostilePass(mutator, h);
    std::printf("hostile inputs: %llu cases (%llu systematic over %zu seed files), %llu calls in %.1f s\n",
                static_cast<unsigned long long>(r.cases), static_cast<unsigned long long>(mutator.SystematicCases()),
                mutator.SeedCount(), static_cast<unsigned long long>(r.tally.calls), r.seconds);
    std::printf("  results: -1: %llu  0: %llu  1: %llu  2: %llu  4: %llu  8: %llu\n",
                static_cast<unsigned long long>(r.tally.results[0]), static_cast<unsigned long long>(r.tally.results[1]),
                static_cast<unsigned long long>(r.tally.results[2]), static_cast<unsigned long long>(r.tally.results[3]),
                static_cast<unsigned long long>(r.tally.results[4]), static_cast<unsigned long long>(r.tally.results[5]));
    std::size_t inComponent = 0;
    for (const auto& c : r.crashes) inComponent += c.inComponent;
    std::printf("  wrong answers: %llu; crashes: %zu of the plug-in or host, %zu inside the imaging component\n",
                static_cast<unsigned long long>(r.tally.wrong), r.crashes.size() - inComponent, inComponent);
    if (r.tally.unstableInComponent)
      std::printf("  pictures that differed between decodes because the imaging component's own pixels did: %llu\n",
                  static_cast<unsigned long long>(r.tally.unstableInComponent));
    for (const auto& c : r.crashes) {
      std::printf("    %s case %llu: %s; %s: 0x%08lX in %s +0x%llX\n", c.inComponent ? "component" : "CRASH",
                  static_cast<unsigned long long>(c.index), c.what.c_str(), c.stage.c_str(), static_cast<unsigned long>(c.code),
                  c.module.c_str(), static_cast<unsigned long long>(c.offset));
      if (!c.inComponent) failed = 1;
    }
    if (o.expectComponentCrash && inComponent == 0) {
      std::printf("    WRONG: no crash inside the imaging component, so none was seen traced to it\n");
      failed = 1;
    }
    failed |= PrintWrong(r.wrong);
    std::fflush(stdout);
  }
  if (Wanted(o, L"leaks")) {
    const auto r = stress::RunLeakPass(o.leakRounds, testsupport::DataFolder());
    std::printf("leaks: %llu rounds after the warm-up, %llu calls, %llu decodes stopped by the host, in %.1f s\n",
                static_cast<unsigned long long>(r.rounds), static_cast<unsigned long long>(r.calls),
                static_cast<unsigned long long>(r.stops), r.seconds);
    std::printf("  private bytes %llu -> %llu KiB, handles %u -> %u, plug-in's local blocks %lld -> %lld\n",
                static_cast<unsigned long long>(r.baseline.privateBytes >> 10), static_cast<unsigned long long>(r.final.privateBytes >> 10),
                r.baseline.handles, r.final.handles, static_cast<long long>(r.baseline.localBlocks),
                static_cast<long long>(r.final.localBlocks));
    failed |= PrintWrong(r.wrong);
    std::fflush(stdout);
  }
  if (Wanted(o, L"threads")) {
    const auto r = stress::RunConcurrencyPass(o.threads, o.rounds, o.reloads);
    std::printf("concurrency: %d threads, %llu concurrent decodes compared with sequential ones; %llu fresh loads with %llu "
                "simultaneous first calls; %.1f s\n",
                r.threads, static_cast<unsigned long long>(r.decodes), static_cast<unsigned long long>(r.reloads),
                static_cast<unsigned long long>(r.firstCalls), r.seconds);
    failed |= PrintWrong(r.wrong);
    std::fflush(stdout);
  }
  if (Wanted(o, L"reloads")) {
    const auto r = stress::RunReloadPass(o.reloadCycles);
    std::printf("reloads: %llu cycles of load, GetPicture and unload in %.1f s\n", static_cast<unsigned long long>(r.cycles),
                r.seconds);
    std::printf("  private bytes %llu -> %llu KiB, handles %u -> %u, free TLS slots %u -> %u\n",
                static_cast<unsigned long long>(r.baseline.privateBytes >> 10),
                static_cast<unsigned long long>(r.final.privateBytes >> 10), r.baseline.handles, r.final.handles,
                r.freeTlsBefore, r.freeTlsAfter);
    failed |= PrintWrong(r.wrong);
    std::fflush(stdout);
  }
  if (Wanted(o, L"settings")) {
    const auto r = stress::RunSettingsChaos(o.chaosSeconds, 3, o.seed);
    std::printf("settings chaos: %llu registry writes while %llu decodes ran, %.1f s\n", static_cast<unsigned long long>(r.writes),
                static_cast<unsigned long long>(r.decodes), r.seconds);
    failed |= PrintWrong(r.wrong);
  }
  std::printf("%s\n", failed ? "FAILED" : "all passes held");
  return failed;
}
