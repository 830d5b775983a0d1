// Supervisor and worker of the hostile-input pass, talking through one block of shared
// memory: the worker marks the case and call it is in before each call, and its
// unhandled-exception filter names the faulting module there before the process ends.
#include "HostilePass.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "common/Owners.h"
#include "Plugin.h"

namespace stress {
namespace {

constexpr int kKeptMessages = 64;
constexpr DWORD kHangMilliseconds = 120000;

struct Shared {
  volatile LONG64 current;  // case being run
  volatile LONG64 reached;  // first case not yet finished
  volatile LONG stage;
  volatile LONG crashed;   // the unhandled-exception filter ran
  volatile LONG finished;  // the worker returned normally
  DWORD code;
  ULONG_PTR address;
  ULONG_PTR moduleBase;
  wchar_t module[MAX_PATH];
  // The first fault of the current case, seen before any handler: a process whose
  // handlers are broken by the fault may die without reaching the filter.
  volatile LONG faulted;
  DWORD faultCode;
  ULONG_PTR faultAddress;
  ULONG_PTR faultModuleBase;
  wchar_t faultModule[MAX_PATH];
  Tally tally;
  LONG wrongCount;
  char wrong[kKeptMessages][240];
};

Shared* gShared = nullptr;

void NameModule(const void* address, ULONG_PTR& base, wchar_t* name) {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module)) {
    base = reinterpret_cast<ULONG_PTR>(module);
    GetModuleFileNameW(module, name, MAX_PATH);
  }
}

LONG WINAPI OnFirstChance(EXCEPTION_POINTERS* e) {
  // Only faults (severity "error"); C++ exceptions and debug notices pass unrecorded.
  if (gShared && e && e->ExceptionRecord && (e->ExceptionRecord->ExceptionCode & 0xC0000000u) == 0xC0000000u &&
      InterlockedCompareExchange(&gShared->faulted, 1, 0) == 0) {
    gShared->faultCode = e->ExceptionRecord->ExceptionCode;
    gShared->faultAddress = reinterpret_cast<ULONG_PTR>(e->ExceptionRecord->ExceptionAddress);
    NameModule(e->ExceptionRecord->ExceptionAddress, gShared->faultModuleBase, gShared->faultModule);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* e) {
  // Nothing here may allocate: the heap may be what broke.
  if (gShared && e && e->ExceptionRecord) {
    gShared->code = e->ExceptionRecord->ExceptionCode;
    gShared->address = reinterpret_cast<ULONG_PTR>(e->ExceptionRecord->ExceptionAddress);
    NameModule(e->ExceptionRecord->ExceptionAddress, gShared->moduleBase, gShared->module);
    InterlockedExchange(&gShared->crashed, 1);
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += static_cast<char>(c < 128 ? c : '?');
  return out;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring BaseName(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameNameIgnoringCase(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

std::wstring ThisProgram() {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  return std::wstring(path, n);
}

void SaveInput(const std::wstring& path, const HostileInput& input, const std::string& note) {
  CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
  for (const auto& [name, bytes] : {std::pair<std::wstring, std::string>{path, std::string()},
                                    {path + L".txt", input.what + "\n" + note + "\n"}}) {
    quorvel::FileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) continue;
    DWORD written = 0;
    if (bytes.empty()) {
      if (!input.bytes.empty()) WriteFile(file.Get(), input.bytes.data(), static_cast<DWORD>(input.bytes.size()), &written, nullptr);
    } else {
      WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
  }
}

std::wstring FindingPath(const std::wstring& folder, const char* kind, std::uint64_t seed, std::uint64_t index) {
  return folder + L"\\" + Widen(kind) + L"-seed" + std::to_wstring(seed) + L"-case" + std::to_wstring(index) + L".tif";
}


// What became of a worker, seen from outside as its debugger: a process whose own fault
// handling is broken by a fault still reports each fault to its debugger first.
struct WorkerEnd {
  DWORD exitCode = 0;
  bool hung = false;
  bool faulted = false;  // a fault during the case that was running at the end
  DWORD code = 0;
  std::uint64_t offset = 0;
  std::wstring module;
};

class ModuleMap {
 public:
  void Loaded(ULONG_PTR base, HANDLE file) {
    wchar_t path[MAX_PATH * 2] = L"";
    if (file && GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, 0) == 0) path[0] = 0;
    if (file) CloseHandle(file);
    modules_.push_back({base, path});
  }
  // The module with the nearest base below the address.
  std::pair<ULONG_PTR, std::wstring> Find(ULONG_PTR address) const {
    std::pair<ULONG_PTR, std::wstring> best{0, L""};
    for (const auto& m : modules_)
      if (m.first <= address && m.first >= best.first) best = m;
    return best;
  }

 private:
  std::vector<std::pair<ULONG_PTR, std::wstring>> modules_;
};

WorkerEnd WatchWorker(HANDLE process, bool debugging, const Shared* shared) {
  WorkerEnd end;
  LONG64 lastSeen = -1;
  ULONGLONG lastChange = GetTickCount64();
  LONG64 faultCase = -1;
  ModuleMap modules;
  const auto stalled = [&] {
    const LONG64 now = shared->reached;
    if (now != lastSeen) {
      lastSeen = now;
      lastChange = GetTickCount64();
      return false;
    }
    return GetTickCount64() - lastChange > kHangMilliseconds;
  };
  if (!debugging) {
    while (WaitForSingleObject(process, 1000) == WAIT_TIMEOUT) {
      if (stalled()) {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, INFINITE);
        end.hung = true;
        break;
      }
    }
    GetExitCodeProcess(process, &end.exitCode);
    return end;
  }
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 1000)) {
      if (stalled() && !end.hung) {
        end.hung = true;
        TerminateProcess(process, 0xDEAD);
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        modules.Loaded(reinterpret_cast<ULONG_PTR>(event.u.CreateProcessInfo.lpBaseOfImage), event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        modules.Loaded(reinterpret_cast<ULONG_PTR>(event.u.LoadDll.lpBaseOfDll), event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        const bool fault = (record.ExceptionCode & 0xC0000000u) == 0xC0000000u;
        if (record.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        if (fault && faultCase != shared->current) {
          faultCase = shared->current;
          const auto address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
          const auto [base, name] = modules.Find(address);
          end.code = record.ExceptionCode;
          end.offset = address - base;
          end.module = name;
        }
        // A fault nobody handled: the worker is done for.
        if (fault && !event.u.Exception.dwFirstChance) TerminateProcess(process, record.ExceptionCode);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        end.exitCode = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        end.faulted = faultCase == shared->current;
        return end;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
}

}  // namespace

int RunHostileWorker(const Mutator& mutator, std::uint64_t seed, std::uint64_t from, std::uint64_t to, double deadline,
                     const std::wstring& sharedName, const std::wstring& findings) {
  quorvel::KernelHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, sharedName.c_str()));
  if (!mapping) return 3;
  gShared = static_cast<Shared*>(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
  if (!gShared) return 3;
  SetUnhandledExceptionFilter(&OnUnhandledException);
  AddVectoredExceptionHandler(1, &OnFirstChance);
  // No error boxes from the system for a damaged file: a host on a desktop would not
  // want them either.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

  hostkit::Plugin plugin;
  if (!plugin.IsLoaded()) return 4;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  HostCalls calls(plugin, std::wstring(temp) + L"quorvel-stress-" + std::to_wstring(GetCurrentProcessId()) + L".tif");
  for (std::uint64_t i = from; i < to; ++i) {
    if (deadline > 0 && static_cast<double>(GetTickCount64()) >= deadline) break;
    gShared->faulted = 0;
    InterlockedExchange64(&gShared->current, static_cast<LONG64>(i));
    const HostileInput input = mutator.Make(seed, i);
    Tally tally;
    const auto wrong = calls.RunAll(input.bytes, i, tally, &gShared->stage);
    gShared->tally.Merge(tally);
    for (const auto& w : wrong) {
      const LONG n = gShared->wrongCount++;
      const std::string line = "case " + std::to_string(i) + " (" + input.what + "): " + w;
      std::printf("stress: wrong answer: %s\n", line.c_str());
      if (n < kKeptMessages) std::snprintf(gShared->wrong[n], sizeof gShared->wrong[n], "%s", line.c_str());
    }
    if (!wrong.empty()) {
      std::fflush(stdout);
      SaveInput(FindingPath(findings, "wrong", seed, i), input, wrong.front());
    }
    InterlockedExchange64(&gShared->reached, static_cast<LONG64>(i + 1));
  }
  InterlockedExchange(&gShared->finished, 1);
  return 0;
}

HostileReport RunHostilePass(const Mutator& mutator, const HostileOptions& options) {
  HostileReport report;
  const ULONGLONG started = GetTickCount64();
  const std::uint64_t end = options.cases ? options.cases : ~std::uint64_t{0};
  const double deadline = options.seconds > 0 ? static_cast<double>(started) + options.seconds * 1000 : 0;
  const std::wstring sharedName = L"Local\\QuorvelStress-" + std::to_wstring(GetCurrentProcessId());
  quorvel::KernelHandle mapping(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), sharedName.c_str()));
  if (!mapping) {
    report.wrong.push_back("no shared memory for the workers");
    return report;
  }
  auto* shared = static_cast<Shared*>(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
  if (!shared) {
    report.wrong.push_back("no view of the shared memory");
    return report;
  }
  new (shared) Shared();  // all zero

  std::uint64_t next = options.first;
  while (next < end) {
    if (deadline > 0 && static_cast<double>(GetTickCount64()) >= deadline) break;
    shared->current = static_cast<LONG64>(next);
    shared->reached = static_cast<LONG64>(next);
    shared->crashed = 0;
    shared->finished = 0;
    shared->faulted = 0;
    shared->module[0] = 0;
    shared->moduleBase = 0;
    shared->faultModule[0] = 0;
    shared->faultModuleBase = 0;
    std::wstring command = L"\"" + ThisProgram() + L"\" --worker --seed " + std::to_wstring(options.seed) + L" --from " +
                           std::to_wstring(next) + L" --to " + std::to_wstring(end) + L" --deadline " +
                           std::to_wstring(static_cast<std::uint64_t>(deadline)) + L" --shared " + sharedName +
                           L" --findings \"" + options.findings + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // As its debugger where the system lets us, so that every fault is seen.
    bool debugging = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                                    &startup, &process) != FALSE;
    if (!debugging && !CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      report.wrong.push_back("cannot start a worker");
      break;
    }
    quorvel::KernelHandle processHandle(process.hProcess);
    quorvel::KernelHandle threadHandle(process.hThread);
    const WorkerEnd end = WatchWorker(processHandle.Get(), debugging, shared);
    const bool hung = end.hung;
    const DWORD exitCode = end.exitCode;
    // Exit code 0 alone proves nothing: a process that dies of a fault in its own fault
    // handling may report it.
    if (exitCode == 0 && !hung && shared->finished) {
      next = static_cast<std::uint64_t>(shared->reached);
      break;
    }
    if (exitCode == 3 || exitCode == 4) {
      report.wrong.push_back(exitCode == 3 ? "a worker could not reach the shared memory" : "a worker could not load the plug-in");
      break;
    }
    Crash crash;
    crash.index = static_cast<std::uint64_t>(shared->current);
    const HostileInput input = mutator.Make(options.seed, crash.index);
    crash.what = input.what;
    crash.stage = StageName(static_cast<Stage>(shared->stage));
    // The debugger's account of the case's first fault; else the worker's own filter, or
    // its first-chance handler.
    const bool seen = end.faulted;
    const bool filtered = !seen && shared->crashed != 0;
    const bool faulted = !seen && !filtered && shared->faulted != 0;
    crash.code = hung ? 0 : seen ? end.code : filtered ? shared->code : faulted ? shared->faultCode : exitCode;
    const std::wstring module = seen       ? end.module
                                : filtered ? std::wstring(shared->module)
                                : faulted  ? std::wstring(shared->faultModule)
                                           : std::wstring();
    crash.module = hung ? "(no progress for two minutes)"
                        : module.empty() ? "(unknown: exit code " + std::to_string(exitCode) + ")" : Narrow(BaseName(module));
    const ULONG_PTR base = filtered ? shared->moduleBase : shared->faultModuleBase;
    const ULONG_PTR address = filtered ? shared->address : shared->faultAddress;
    crash.offset = seen ? end.offset : base ? address - base : 0;
    crash.inComponent = !hung && SameNameIgnoringCase(BaseName(module), L"windowscodecs.dll");
    crash.savedAs = FindingPath(options.findings, crash.inComponent ? "component-crash" : "crash", options.seed, crash.index);
    char note[200];
    std::snprintf(note, sizeof note, "%s: exception 0x%08lX in %s at +0x%llX", crash.stage.c_str(),
                  static_cast<unsigned long>(crash.code), crash.module.c_str(), static_cast<unsigned long long>(crash.offset));
    SaveInput(crash.savedAs, input, note);
    std::printf("stress: case %llu crashed (%s): %s\n", static_cast<unsigned long long>(crash.index), input.what.c_str(), note);
    std::fflush(stdout);
    next = crash.index + 1;
    report.crashes.push_back(std::move(crash));
    shared->reached = static_cast<LONG64>(next);
  }
  report.cases = next - options.first;
  report.tally = shared->tally;
  for (LONG i = 0; i < shared->wrongCount && i < kKeptMessages; ++i) report.wrong.push_back(shared->wrong[i]);
  if (shared->wrongCount > kKeptMessages) report.wrong.push_back("... and " + std::to_string(shared->wrongCount - kKeptMessages) + " more");
  UnmapViewOfFile(shared);
  report.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
  return report;
}

int RunOneCase(const Mutator& mutator, std::uint64_t seed, std::uint64_t index, const std::wstring& saveAs) {
  const HostileInput input = mutator.Make(seed, index);
  std::printf("case %llu of seed %llu: %s (%zu bytes)\n", static_cast<unsigned long long>(index),
              static_cast<unsigned long long>(seed), input.what.c_str(), input.bytes.size());
  if (!saveAs.empty()) SaveInput(saveAs, input, "");
  hostkit::Plugin plugin;
  if (!plugin.IsLoaded()) return 4;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  HostCalls calls(plugin, std::wstring(temp) + L"quorvel-stress-one.tif");
  Tally tally;
  const auto wrong = calls.RunAll(input.bytes, index, tally);
  static constexpr int kCodes[] = {-1, 0, 1, 2, 4, 8};
  for (int i = 0; i < 6; ++i)
    if (tally.results[i]) std::printf("  result %d: %llu calls\n", kCodes[i], static_cast<unsigned long long>(tally.results[i]));
  for (const auto& w : wrong) std::printf("  wrong: %s\n", w.c_str());
  // The same decode again: a component that leaves parts of the picture unwritten gives
  // different pictures from the same bytes.
  const Decode a = calls.Picture(input.bytes, false, false, -1);
  const Decode b = calls.Picture(input.bytes, false, false, -1);
  std::printf("  two decodes from memory: %d and %d, %s pictures\n", a.result, b.result, a.digest == b.digest ? "equal" : "different");
  return wrong.empty() ? 0 : 1;
}

}  // namespace stress
