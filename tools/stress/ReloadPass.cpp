// RunReloadPass: after a warm-up, cycles of LoadLibrary, GetPicture from memory, the
// blocks freed, FreeLibrary; the counters read before the first cycle and after the last.
#include "ReloadPass.h"

#include <windows.h>

#include <vector>

#include "Plugin.h"
#include "StressInputs.h"

namespace stress {
namespace {

// Free TLS slots, counted by taking every one and giving them back.
std::uint32_t FreeTlsSlots() {
  std::vector<DWORD> taken;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
  for (const DWORD slot : taken) TlsFree(slot);
  return static_cast<std::uint32_t>(taken.size());
}

// One cycle; an empty string when it held.
std::string Cycle(const std::vector<std::uint8_t>& picture) {
  const hostkit::Plugin plugin;
  if (!plugin.IsLoaded()) return "the plug-in did not load";
  HLOCAL info = nullptr, bits = nullptr;
  const int r = plugin.GetPicture(reinterpret_cast<LPCSTR>(picture.data()), static_cast<LONG_PTR>(picture.size()), 1,
                                  &info, &bits, nullptr, 0);
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  if (r != 0) return "GetPicture gave " + std::to_string(r);
  if (!info || !bits) return "GetPicture succeeded without both blocks";
  return {};
}

}  // namespace

ReloadReport RunReloadPass(std::uint64_t cycles) {
  ReloadReport report;
  const std::vector<NamedInput> pictures = GoodPictures(67, 45);
  const ULONGLONG started = GetTickCount64();
  // The imaging component's own caches and the heap's first growth come with the first loads.
  for (std::size_t i = 0; i < pictures.size(); ++i)
    if (const std::string why = Cycle(pictures[i].bytes); !why.empty())
      report.wrong.push_back("warm-up, " + pictures[i].name + ": " + why);
  report.baseline = ReadProcessCounters();
  report.freeTlsBefore = FreeTlsSlots();
  for (std::uint64_t c = 0; c < cycles; ++c) {
    const NamedInput& input = pictures[c % pictures.size()];
    if (const std::string why = Cycle(input.bytes); !why.empty() && report.wrong.size() < 20)
      report.wrong.push_back("cycle " + std::to_string(c) + ", " + input.name + ": " + why);
  }
  report.freeTlsAfter = FreeTlsSlots();
  report.final = ReadProcessCounters();
  report.cycles = cycles;
  report.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;

  if (report.freeTlsAfter != report.freeTlsBefore)
    report.wrong.push_back("free TLS slots went from " + std::to_string(report.freeTlsBefore) + " to " +
                           std::to_string(report.freeTlsAfter));
  if (report.final.handles > report.baseline.handles + kHandleAllowance)
    report.wrong.push_back("handles grew from " + std::to_string(report.baseline.handles) + " to " +
                           std::to_string(report.final.handles));
  if (report.final.privateBytes > report.baseline.privateBytes + kReloadPrivateBytesAllowance)
    report.wrong.push_back("private bytes grew by " +
                           std::to_string((report.final.privateBytes - report.baseline.privateBytes) >> 10) + " KiB");
  return report;
}

}  // namespace stress
