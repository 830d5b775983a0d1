// Supervisor and worker of the hostile-input pass. The supervisor starts each worker as
// its debugger and so sees every fault first, whatever the fault does to the worker's
// own handling; the worker marks the case and call it is in, in shared memory, before
// each call. Without a debugger the worker's unhandled-exception filter reports instead.
#include "HostilePass.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "ComponentDecode.h"
#include "common/Owners.h"
#include "Plugin.h"
#include "StressPaths.h"
#include "WicProbe.h"
#include "decode/TiffDirectory.h"

namespace stress {
namespace {

constexpr int kKeptMessages = 64;
constexpr DWORD kHangMilliseconds = 120000;
// Worker exit codes for failures before the first case; far from any a crash or
// abort() gives.
constexpr DWORD kExitNoSharedMemory = 0x5157A003;
constexpr DWORD kExitNoPlugin = 0x5157A004;

// 64-bit fields are read whole even in the 32-bit build.
std::uint64_t Read64(volatile LONG64* p) { return static_cast<std::uint64_t>(InterlockedCompareExchange64(p, 0, 0)); }

struct Shared {
  volatile LONG64 current;  // case being run
  volatile LONG64 reached;  // first case not yet finished
  volatile LONG stage;
  volatile LONG crashed;   // the unhandled-exception filter ran
  volatile LONG finished;  // the worker returned normally
  volatile LONG ready;     // the worker reached its first case
  DWORD code;
  ULONG_PTR address;
  ULONG_PTR moduleBase;
  wchar_t module[MAX_PATH];
  Tally tally;
  LONG wrongCount;
  char wrong[kKeptMessages][240];
};

Shared* gShared = nullptr;

void NameModule(const void* address, ULONG_PTR& base, wchar_t* name) {
  base = 0;
  name[0] = 0;
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module)) {
    base = reinterpret_cast<ULONG_PTR>(module);
    GetModuleFileNameW(module, name, MAX_PATH);
  }
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

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Hex(std::uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "%llX", static_cast<unsigned long long>(v));
  return b;
}

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
  const auto slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
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


bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_IN_PAGE_ERROR: case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: case EXCEPTION_INT_DIVIDE_BY_ZERO: case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_STACK_OVERFLOW: case EXCEPTION_DATATYPE_MISALIGNMENT: case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: case EXCEPTION_FLT_INVALID_OPERATION: case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW: case EXCEPTION_FLT_STACK_CHECK: case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_INEXACT_RESULT: case EXCEPTION_BREAKPOINT:
    case 0xC0000409:  // stack buffer overrun
    case 0xC0000374:  // heap corruption
      return true;
    default:
      return false;
  }
}

// Loaded images of the worker with their extents, so that an address outside every
// image is named as such rather than after the image below it.
class ModuleMap {
 public:
  void Loaded(HANDLE process, ULONG_PTR base, HANDLE file) {
    wchar_t path[MAX_PATH * 2] = L"";
    if (file) {
      const DWORD n = GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, 0);
      if (n == 0 || n >= MAX_PATH * 2) path[0] = 0;
      CloseHandle(file);
    }
    modules_.push_back({base, ImageSize(process, base), path});
  }
  void Unloaded(ULONG_PTR base) {
    for (auto it = modules_.begin(); it != modules_.end(); ++it)
      if (it->base == base) {
        modules_.erase(it);
        return;
      }
  }
  // Name and offset of the image holding address; an empty name when none does.
  std::pair<std::wstring, std::uint64_t> Find(ULONG_PTR address) const {
    for (const auto& m : modules_)
      if (address >= m.base && address - m.base < m.size) return {m.path.empty() ? L"(unnamed image)" : m.path, address - m.base};
    return {L"", 0};
  }

 private:
  struct Image {
    ULONG_PTR base;
    ULONG_PTR size;
    std::wstring path;
  };
  static ULONG_PTR ImageSize(HANDLE process, ULONG_PTR base) {
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS nt{};
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(base), &dos, sizeof dos, &got) || got != sizeof dos) return 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(base + dos.e_lfanew), &nt, sizeof nt, &got) || got != sizeof nt)
      return 0;
    return nt.OptionalHeader.SizeOfImage;
  }
  std::vector<Image> modules_;
};

struct Fault {
  bool seen = false;
  DWORD code = 0;
  std::wstring module;  // empty: outside every image
  std::uint64_t offset = 0;
};

// What became of a worker.
struct WorkerEnd {
  DWORD exitCode = 0;
  bool hung = false;
  Fault first;  // the first fault of the case running at the end
  Fault fatal;  // the fault nobody handled, if the worker got that far
};

WorkerEnd WatchWorker(HANDLE process, bool debugging, Shared* shared) {
  WorkerEnd end;
  std::uint64_t lastSeen = ~std::uint64_t{0};
  ULONGLONG lastChange = GetTickCount64(), lastCheck = 0;
  std::uint64_t faultCase = ~std::uint64_t{0};
  ModuleMap modules;
  bool loaderBreakpoint = true;
  // Checked at most once a second, whether or not debug events keep arriving.
  const auto checkProgress = [&] {
    const ULONGLONG now = GetTickCount64();
    if (now - lastCheck < 1000) return;
    lastCheck = now;
    const std::uint64_t reached = Read64(&shared->reached);
    if (reached != lastSeen) {
      lastSeen = reached;
      lastChange = now;
    } else if (now - lastChange > kHangMilliseconds && !end.hung) {
      end.hung = true;
      TerminateProcess(process, 0xDEAD);
    }
  };
  while (debugging) {
    checkProgress();
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 1000)) {
      if (GetLastError() == ERROR_SEM_TIMEOUT) continue;
      debugging = false;  // no more events to be had: wait for the process instead
      break;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        modules.Loaded(process, reinterpret_cast<ULONG_PTR>(event.u.CreateProcessInfo.lpBaseOfImage), event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        modules.Loaded(process, reinterpret_cast<ULONG_PTR>(event.u.LoadDll.lpBaseOfDll), event.u.LoadDll.hFile);
        break;
      case UNLOAD_DLL_DEBUG_EVENT:
        modules.Unloaded(reinterpret_cast<ULONG_PTR>(event.u.UnloadDll.lpBaseOfDll));
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        // The loader's breakpoint for its debugger is the one exception ours to resume.
        if (record.ExceptionCode == EXCEPTION_BREAKPOINT && loaderBreakpoint) {
          loaderBreakpoint = false;
          break;
        }
        status = DBG_EXCEPTION_NOT_HANDLED;
        if (!IsFault(record.ExceptionCode)) break;
        const auto [module, offset] = modules.Find(reinterpret_cast<ULONG_PTR>(record.ExceptionAddress));
        const std::uint64_t running = Read64(&shared->current);
        if (faultCase != running) {
          faultCase = running;
          end.first = {true, record.ExceptionCode, module, offset};
        }
        if (!event.u.Exception.dwFirstChance) {
          end.fatal = {true, record.ExceptionCode, module, offset};
          TerminateProcess(process, record.ExceptionCode);
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        end.exitCode = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        if (faultCase != Read64(&shared->current)) end.first = {};
        return end;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  while (WaitForSingleObject(process, 1000) == WAIT_TIMEOUT) checkProgress();
  GetExitCodeProcess(process, &end.exitCode);
  if (faultCase != Read64(&shared->current)) end.first = {};
  return end;
}

}  // namespace

// What the component's metadata reader answers against the plug-in's reader; empty when
// they agree or the component gives no answer.
std::string CompareReaders(const std::vector<std::uint8_t>& bytes) {
  const auto component = testsupport::ProbeDirectory(bytes);
  if (!component) return {};
  quorvel::MemoryDirectoryInput input(bytes.data(), bytes.size());
  const quorvel::DirectoryFacts ours = quorvel::ReadFirstDirectory(input);
  if (ours.orientation == component->orientation && ours.stripRows == component->stripRows &&
      ours.tileWidth == component->tileWidth)
    return {};
  return "the directory reader says orientation " + std::to_string(ours.orientation) + ", rows " +
         std::to_string(ours.stripRows) + ", tile width " + std::to_string(ours.tileWidth) +
         "; the component's metadata reader " + std::to_string(component->orientation) + ", " +
         std::to_string(component->stripRows) + ", " + std::to_string(component->tileWidth);
}

int RunHostileWorker(const Mutator& mutator, std::uint64_t seed, std::uint64_t from, std::uint64_t to, double deadline,
                     const std::wstring& sharedName, const std::wstring& findings, bool compareReaders) {
  quorvel::KernelHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, sharedName.c_str()));
  if (!mapping) return kExitNoSharedMemory;
  gShared = static_cast<Shared*>(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
  if (!gShared) return kExitNoSharedMemory;
  // Runs only where no debugger watches.
  SetUnhandledExceptionFilter(&OnUnhandledException);
  // No error boxes from the system for a damaged file: a host on a desktop would not
  // want them either.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

  hostkit::Plugin plugin;
  if (!plugin.IsLoaded()) return kExitNoPlugin;
  InterlockedExchange(&gShared->ready, 1);
  HostCalls calls(plugin, TempFilePath(L"stress"));
  for (std::uint64_t i = from; i < to; ++i) {
    if (deadline > 0 && static_cast<double>(GetTickCount64()) >= deadline) break;
    InterlockedExchange64(&gShared->current, static_cast<LONG64>(i));
    const HostileInput input = mutator.Make(seed, i);
    Tally tally;
    std::vector<std::string> wrong;
    if (compareReaders) {
      InterlockedExchange(&gShared->stage, static_cast<LONG>(Stage::kComponentMetadata));
      if (std::string differs = CompareReaders(input.bytes); !differs.empty()) wrong.push_back(std::move(differs));
    }
    for (auto& w : calls.RunAll(input.bytes, i, tally, &gShared->stage)) wrong.push_back(std::move(w));
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
  const std::uint64_t end = options.cases ? options.first + options.cases : ~std::uint64_t{0};
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
    shared->ready = 0;
    shared->stage = static_cast<LONG>(Stage::kStarting);
    shared->module[0] = 0;
    shared->moduleBase = 0;
    std::wstring command = L"\"" + ThisProgram() + L"\" --worker --seed " + std::to_wstring(options.seed) + L" --from " +
                           std::to_wstring(next) + L" --to " + std::to_wstring(end) + L" --deadline " +
                           std::to_wstring(static_cast<std::uint64_t>(deadline)) + L" --shared " + sharedName +
                           L" --findings \"" + options.findings + L"\" --plugin \"" + hostkit::DefaultPluginName() + L"\"" +
                           (options.noOrientation ? L" --no-orientation" : L"") +
                           (options.compareReaders ? L" --compare-readers" : L"");
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
    const std::uint64_t reached = Read64(&shared->reached), current = Read64(&shared->current);
    // Exit code 0 alone proves nothing: a process that dies of a fault in its own fault
    // handling may report it.
    if (end.exitCode == 0 && !end.hung && shared->finished) {
      next = reached;
      break;
    }
    if (!shared->ready && (end.exitCode == kExitNoSharedMemory || end.exitCode == kExitNoPlugin)) {
      report.wrong.push_back(end.exitCode == kExitNoSharedMemory ? "a worker could not reach the shared memory"
                                                                 : "a worker could not load the plug-in");
      break;
    }
    Crash crash;
    // A crash after the last case finished (at unloading) belongs to no input.
    const bool afterLastCase = reached > current || shared->finished;
    crash.index = current;
    const HostileInput input = afterLastCase ? HostileInput{"(after the last case: unloading)", {}} : mutator.Make(options.seed, current);
    crash.what = input.what;
    crash.stage = StageName(static_cast<Stage>(shared->stage));
    // The debugger's account: the fault nobody handled if it saw one, else the case's
    // first fault; without a debugger, the worker's own filter.
    const bool filtered = !end.first.seen && !end.fatal.seen && shared->crashed != 0;
    const Fault& blamed = end.fatal.seen ? end.fatal : end.first;
    std::wstring module;
    if (blamed.seen) {
      crash.code = blamed.code;
      module = blamed.module;
      crash.offset = blamed.offset;
    } else if (filtered) {
      crash.code = shared->code;
      module = shared->module;
      crash.offset = shared->moduleBase ? shared->address - shared->moduleBase : 0;
    } else {
      crash.code = end.exitCode;
    }
    crash.module = blamed.seen || filtered ? (module.empty() ? "(outside every module)" : AsciiOf(BaseName(module)))
                                           : "(no fault seen; exit code " + std::to_string(end.exitCode) + ")";
    if (end.hung) crash.module += ", then no progress for two minutes";
    if (end.fatal.seen && end.first.seen && end.first.module != end.fatal.module)
      crash.module += " (first fault in " + AsciiOf(BaseName(end.first.module.empty() ? L"no module" : end.first.module)) + " +0x" +
                      Hex(end.first.offset) + ")";
    // The component's own crash: its first fault was inside it, and nothing of ours
    // faulted fatally after it.
    const auto ours = [](const std::wstring& m) {
      const std::wstring name = BaseName(m);
      return SameNameIgnoringCase(name, hostkit::DefaultPluginName().c_str()) || SameNameIgnoringCase(name, BaseName(ThisProgram()).c_str());
    };
    const Fault& origin = end.first.seen ? end.first : blamed;
    crash.inComponent = !afterLastCase && (origin.seen || filtered) &&
                        SameNameIgnoringCase(BaseName(origin.seen ? origin.module : module), L"windowscodecs.dll") &&
                        !(end.fatal.seen && ours(end.fatal.module));
    crash.savedAs = FindingPath(options.findings, crash.inComponent ? "component-crash" : "crash", options.seed, crash.index);
    char note[200];
    std::snprintf(note, sizeof note, "%s: exception 0x%08lX in %s at +0x%llX", crash.stage.c_str(),
                  static_cast<unsigned long>(crash.code), crash.module.c_str(), static_cast<unsigned long long>(crash.offset));
    if (!afterLastCase) SaveInput(crash.savedAs, input, note);
    std::printf("stress: case %llu crashed (%s): %s\n", static_cast<unsigned long long>(crash.index), input.what.c_str(), note);
    std::fflush(stdout);
    next = afterLastCase ? reached : current + 1;
    report.crashes.push_back(std::move(crash));
    InterlockedExchange64(&shared->reached, static_cast<LONG64>(next));
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
  if (!plugin.IsLoaded()) return 2;
  HostCalls calls(plugin, TempFilePath(L"one"));
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
  std::printf("  the imaging component alone: %s\n",
              ComponentGivesDifferentPixels(input.bytes) ? "different pixels from the same bytes" : "the same pixels every time");
  if (tally.unstableInComponent) std::printf("  pictures that differed because the component's pixels did: %llu\n",
                                             static_cast<unsigned long long>(tally.unstableInComponent));
  return wrong.empty() ? 0 : 1;
}

}  // namespace stress
