// ConcurrencyPass: std::thread workers released together by one event, so that their
// calls overlap as much as the machine lets them.
#include "ConcurrencyPass.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "HostCalls.h"
#include "common/Owners.h"
#include "Plugin.h"
#include "StressInputs.h"
#include "StressPaths.h"

namespace stress {
namespace {

class Findings {
 public:
  void Add(const std::string& s) {
    std::lock_guard<std::mutex> hold(lock_);
    if (list_.size() < 20) list_.push_back(s);
  }
  std::vector<std::string> Take() { return std::move(list_); }

 private:
  std::mutex lock_;
  std::vector<std::string> list_;
};

}  // namespace

ConcurrencyReport RunConcurrencyPass(int threads, std::uint64_t rounds, std::uint64_t reloads) {
  ConcurrencyReport report;
  report.threads = threads;
  const ULONGLONG started = GetTickCount64();
  const auto inputs = GoodPictures(157, 93);
  Findings findings;

  // The reference: each picture decoded alone, on one thread.
  std::vector<Decode> expected;
  {
    hostkit::Plugin plugin;
    if (!plugin.IsLoaded()) {
      report.wrong.push_back("cannot load the plug-in");
      return report;
    }
    HostCalls calls(plugin, TempFilePath(L"sequential", 0));
    for (const auto& input : inputs) {
      expected.push_back(calls.Picture(input.bytes, false, false, -1));
      if (expected.back().result != 0) findings.Add(input.name + ": sequential decode gave " + std::to_string(expected.back().result));
    }

    // Every thread its own picture, in memory and from its own file in turn.
    quorvel::KernelHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> workers;
    std::vector<std::uint64_t> done(static_cast<std::size_t>(threads), 0);
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        HostCalls mine(plugin, TempFilePath(L"concurrent", t));
        const std::size_t which = static_cast<std::size_t>(t) % inputs.size();
        const auto& input = inputs[which];
        mine.WriteTempFile(input.bytes);
        WaitForSingleObject(go.Get(), INFINITE);
        for (std::uint64_t r = 0; r < rounds; ++r) {
          const Decode d = mine.Picture(input.bytes, r % 2 == 1, r % 4 >= 2, -1);
          if (d.result != expected[which].result || d.digest != expected[which].digest)
            findings.Add(input.name + ": thread " + std::to_string(t) + " round " + std::to_string(r) + " gave " +
                         std::to_string(d.result) + " and another picture than alone");
          ++done[static_cast<std::size_t>(t)];
        }
      });
    }
    SetEvent(go.Get());
    for (auto& w : workers) w.join();
    for (auto n : done) report.decodes += n;
  }

  // First calls: a fresh load each time, every thread's first call at the same moment.
  for (std::uint64_t reload = 0; reload < reloads; ++reload) {
    auto plugin = std::make_unique<hostkit::Plugin>();
    if (!plugin->IsLoaded()) {
      findings.Add("cannot load the plug-in again");
      break;
    }
    quorvel::KernelHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        HostCalls mine(*plugin, TempFilePath(L"first", t));
        const std::size_t which = static_cast<std::size_t>(t) % inputs.size();
        // A host passes the first 2,048 bytes, padded when the file is shorter.
        std::vector<std::uint8_t> header(inputs[which].bytes);
        header.resize(std::max<std::size_t>(header.size(), 2048), 0);
        WaitForSingleObject(go.Get(), INFINITE);
        switch ((t + reload) % 3) {
          case 0: {
            const Decode d = mine.Picture(inputs[which].bytes, false, false, -1);
            if (d.result != expected[which].result || d.digest != expected[which].digest)
              findings.Add(inputs[which].name + ": first call on thread " + std::to_string(t) + " gave another picture");
            break;
          }
          case 1: {
            // The extension test, and a name with no file behind it in an existing folder
            // (accepted on its extension when the block alone is not enough).
            const std::wstring missing = TempFilePath(L"no-such-file", t);
            const std::wstring tiff = missing.substr(0, missing.size() - 4) + L".TIFF";
            const std::wstring other = missing.substr(0, missing.size() - 4) + L".png";
            const bool tif = plugin->IsSupportedW(tiff.c_str(), reinterpret_cast<ULONG_PTR>(header.data())) != 0;
            const bool png = plugin->IsSupportedW(other.c_str(), reinterpret_cast<ULONG_PTR>(header.data())) != 0;
            if (!tif || png)
              findings.Add("first IsSupported on thread " + std::to_string(t) + " judged the extension wrongly: .TIFF " +
                           (tif ? "accepted" : "refused") + ", .png " + (png ? "accepted" : "refused"));
            break;
          }
          default: {
            susie::PictureInfo info{};
            const int r = plugin->GetPictureInfo(reinterpret_cast<LPCSTR>(inputs[which].bytes.data()),
                                                 static_cast<LONG_PTR>(inputs[which].bytes.size()), 1, &info);
            if (r != 0 || info.width != 157 || info.height != 93)
              findings.Add("first GetPictureInfo on thread " + std::to_string(t) + " gave " + std::to_string(r));
            break;
          }
        }
      });
    }
    // Let every thread reach the event before it is set.
    Sleep(20);
    SetEvent(go.Get());
    for (auto& w : workers) w.join();
    report.firstCalls += static_cast<std::uint64_t>(threads);
    ++report.reloads;
  }
  report.wrong = findings.Take();
  report.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
  return report;
}

}  // namespace stress
