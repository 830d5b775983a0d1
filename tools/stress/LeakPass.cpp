// LeakPass: the plug-in's LocalAlloc imports are counted; blocks it hands over are
// freed through the counter, so that every one it made must be gone after each round.
#include "LeakPass.h"

#include <windows.h>

#include "HostCalls.h"
#include "LocalAllocationCounter.h"
#include "Plugin.h"
#include "StressInputs.h"
#include "StressPaths.h"

namespace stress {

namespace {

// Committed private memory summed region by region, which is what Windows calls private
// bytes. Wine's process counters put its swap use in that field instead.
std::uint64_t CommittedPrivateBytes() {
  std::uint64_t total = 0;
  MEMORY_BASIC_INFORMATION m;
  ULONG_PTR at = 0;
  while (VirtualQuery(reinterpret_cast<void*>(at), &m, sizeof m) == sizeof m) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    const ULONG_PTR next = reinterpret_cast<ULONG_PTR>(m.BaseAddress) + m.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

// Open handles. Wine answers GetProcessHandleCount with 0, so there the handle values
// are probed one by one.
std::uint32_t OpenHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  // On until 16,384 values in a row are not handles (at least to 0x40000), so that a
  // table grown by a long run is still counted whole.
  count = 0;
  ULONG_PTR lastHandle = 0;
  for (ULONG_PTR value = 4; value < 0x40000 || value - lastHandle < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      lastHandle = value;
    }
  }
  return count;
}

}  // namespace

ProcessCounters ReadProcessCounters() {
  ProcessCounters c;
  c.privateBytes = CommittedPrivateBytes();
  c.handles = OpenHandles();
  c.localBlocks = hostkit::LocalAllocationCounter::Now().blocks;
  return c;
}

LeakReport RunLeakPass(std::uint64_t rounds, const std::wstring& dataFolder) {
  LeakReport report;
  hostkit::Plugin plugin;
  if (!plugin.IsLoaded() || !hostkit::LocalAllocationCounter::Install(plugin.Module())) {
    report.wrong.push_back("cannot load the plug-in or count its blocks");
    return report;
  }
  std::vector<NamedInput> inputs = GoodPictures(67, 45);
  for (auto& failing : FailingInputs(dataFolder)) inputs.push_back(std::move(failing));
  HostCalls calls(plugin, TempFilePath(L"leak"),
                  &hostkit::LocalAllocationCounter::FreeHandedOver);

  // Round r: input r mod n; the k-th pass over the inputs stops at report k - 1 (0..9),
  // or never, in ANSI and wide calls alternately.
  const auto round = [&](std::uint64_t r, Tally& tally) {
    const std::uint64_t sweep = r / inputs.size();
    const std::uint64_t stop = sweep % 11;
    const std::uint64_t variant = (stop == 10 ? 2 : stop << 3) | (sweep / 11 % 2);
    const auto& input = inputs[r % inputs.size()];
    for (const auto& w : calls.RunAll(input.bytes, variant, tally))
      if (report.wrong.size() < 20) report.wrong.push_back(input.name + ": " + w);
    if (stop != 10) ++report.stops;
  };

  const ULONGLONG started = GetTickCount64();
  Tally tally;
  // Warm-up: the format table, the extension pattern, the component's caches, the
  // parallel runtime's threads are all made once.
  const std::uint64_t warmUp = inputs.size() * 22;
  for (std::uint64_t r = 0; r < warmUp; ++r) round(r, tally);
  report.baseline = ReadProcessCounters();
  for (std::uint64_t r = 0; r < rounds; ++r) {
    round(warmUp + r, tally);
    const std::int64_t outstanding = hostkit::LocalAllocationCounter::Now().blocks - report.baseline.localBlocks;
    if (outstanding > 0 && static_cast<std::uint64_t>(outstanding) > report.peakBlockLeak)
      report.peakBlockLeak = static_cast<std::uint64_t>(outstanding);
  }
  report.final = ReadProcessCounters();
  report.rounds = rounds;
  report.calls = tally.calls;
  report.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;

  if (report.final.localBlocks != report.baseline.localBlocks || report.peakBlockLeak)
    report.wrong.push_back("local blocks left outstanding: " + std::to_string(report.final.localBlocks - report.baseline.localBlocks) +
                           " at the end, at most " + std::to_string(report.peakBlockLeak) + " after a round");
  if (report.final.handles > report.baseline.handles + kHandleAllowance)
    report.wrong.push_back("handles grew from " + std::to_string(report.baseline.handles) + " to " + std::to_string(report.final.handles));
  if (report.final.privateBytes > report.baseline.privateBytes + kPrivateBytesAllowance)
    report.wrong.push_back("private bytes grew by " + std::to_string((report.final.privateBytes - report.baseline.privateBytes) >> 10) + " KiB");
  return report;
}

}  // namespace stress
