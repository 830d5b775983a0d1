// HostCalls: the calls and their checks.
#include "HostCalls.h"

#include <cstring>

#include "ComponentDecode.h"
#include "Dib.h"
#include "StressPaths.h"

namespace stress {
namespace {

struct ProgressState {
  int reports = 0;
  int stopAt = -1;
  int last = -1;
};

int WINAPI OnProgress(int numerator, int, LONG_PTR data) {
  auto* state = reinterpret_cast<ProgressState*>(data);
  state->last = numerator;
  return state->reports++ == state->stopAt ? 1 : 0;
}

// An empty vector's data() may be null, which the plug-in rightly refuses; a host always
// passes a buffer.
LPCSTR MemorySource(const std::vector<std::uint8_t>& bytes) {
  static const std::uint8_t kNothing = 0;
  return reinterpret_cast<LPCSTR>(bytes.empty() ? &kNothing : bytes.data());
}

void SetStage(volatile LONG* stage, Stage s) {
  if (stage) InterlockedExchange(stage, static_cast<LONG>(s));
}

}  // namespace

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::kIdle: return "between calls";
    case Stage::kStarting: return "starting the worker (loading the plug-in)";
    case Stage::kWriteFile: return "writing the input file";
    case Stage::kIsSupportedHeader: return "IsSupported (header block)";
    case Stage::kIsSupportedHandle: return "IsSupported (file handle)";
    case Stage::kInfoMemory: return "GetPictureInfo (memory)";
    case Stage::kInfoFile: return "GetPictureInfo (file)";
    case Stage::kPictureMemory: return "GetPicture (memory)";
    case Stage::kPictureFile: return "GetPicture (file)";
    case Stage::kPreview: return "GetPreview (memory)";
    case Stage::kComponentMetadata: return "the component's metadata reader, asked by the stress program";
  }
  return "?";
}

bool IsResultCode(int result) {
  return result == -1 || result == 0 || result == 1 || result == 2 || result == 4 || result == 8;
}

void Tally::Add(int result) {
  ++calls;
  static constexpr int kCodes[] = {-1, 0, 1, 2, 4, 8};
  for (int i = 0; i < 6; ++i)
    if (kCodes[i] == result) ++results[i];
}

void Tally::Merge(const Tally& other) {
  calls += other.calls;
  wrong += other.wrong;
  unstableInComponent += other.unstableInComponent;
  for (int i = 0; i < 6; ++i) results[i] += other.results[i];
}

static void FreeLocal(HLOCAL block) { LocalFree(block); }

HostCalls::HostCalls(const hostkit::Plugin& plugin, std::wstring tempPath, FreeBlock freeBlock)
    : plugin_(plugin), tempPath_(std::move(tempPath)), free_(freeBlock ? freeBlock : &FreeLocal) {}

HostCalls::~HostCalls() { DeleteFileW(tempPath_.c_str()); }

bool HostCalls::WriteTempFile(const std::vector<std::uint8_t>& bytes) const {
  HANDLE file = CreateFileW(tempPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                    written == bytes.size());
  CloseHandle(file);
  return ok;
}

Decode HostCalls::Picture(const std::vector<std::uint8_t>& bytes, bool fromFile, bool wide, int stopAt, bool preview) const {
  Decode d;
  HLOCAL info = nullptr, bits = nullptr;
  ProgressState progress{0, stopAt, -1};
  const auto data = reinterpret_cast<LONG_PTR>(&progress);
  const LPCSTR memory = MemorySource(bytes);
  if (preview) {
    d.result = plugin_.GetPreview(memory, static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits, &OnProgress, data);
  } else if (fromFile && wide) {
    d.result = plugin_.GetPictureW(tempPath_.c_str(), 0, 0, &info, &bits, &OnProgress, data);
  } else if (fromFile) {
    d.result = plugin_.GetPicture(AsciiOf(tempPath_).c_str(), 0, 0, &info, &bits, &OnProgress, data);
  } else if (wide) {
    d.result = plugin_.GetPictureW(reinterpret_cast<LPCWSTR>(memory), static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits,
                                   &OnProgress, data);
  } else {
    d.result = plugin_.GetPicture(memory, static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits, &OnProgress, data);
  }
  d.handedOver = info != nullptr || bits != nullptr;
  if (info && bits) {
    hostkit::Dib dib;
    d.wellFormed = hostkit::ReadDib(info, bits, dib, &d.why);
    // Its geometry fitted its blocks; the stress program just cannot hold a copy.
    if (!d.wellFormed && d.why == hostkit::kTooLargeToReadBack) {
      d.wellFormed = true;
      d.why.clear();
    }
    if (d.wellFormed && !dib.bits.empty()) {
      d.digest = hostkit::DibDigest(dib);
      d.width = dib.Width();
      d.height = dib.Height();
      d.bitCount = dib.header.biBitCount;
    }
  }
  if (info) free_(info);
  if (bits) free_(bits);
  // The last report (100) may stop the decode and still hand the picture over.
  const bool stoppedAtTheEnd = d.result == 1 && progress.last == 100;
  if (!IsResultCode(d.result)) {
    d.why = "result " + std::to_string(d.result);
  } else if (d.result == 0 || stoppedAtTheEnd) {
    if (!info || !bits) d.why = "success without both blocks";
    else if (!d.wellFormed) d.why = "malformed DIB: " + d.why;
  } else if (d.handedOver) {
    d.why = "blocks handed over with result " + std::to_string(d.result);
  }
  return d;
}

std::vector<std::string> HostCalls::RunAll(const std::vector<std::uint8_t>& bytes, std::uint64_t variant, Tally& tally,
                                           volatile LONG* stage) {
  std::vector<std::string> wrong;
  const bool wide = variant & 1;
  const int stopAt = (variant >> 1) % 4 == 0 ? static_cast<int>((variant >> 3) % 10) : -1;
  const auto check = [&](const char* call, int result, const std::string& why) {
    tally.Add(result);
    if (!IsResultCode(result) && why.empty()) {
      wrong.push_back(std::string(call) + ": result " + std::to_string(result));
      ++tally.wrong;
    } else if (!why.empty()) {
      wrong.push_back(std::string(call) + ": " + why);
      ++tally.wrong;
    }
  };

  SetStage(stage, Stage::kWriteFile);
  const bool haveFile = WriteTempFile(bytes);

  // IsSupported as a host calls it: the first 2,048 bytes (zero-padded), then a handle.
  SetStage(stage, Stage::kIsSupportedHeader);
  std::vector<std::uint8_t> header(2048, 0);
  if (!bytes.empty()) std::memcpy(header.data(), bytes.data(), bytes.size() < 2048 ? bytes.size() : 2048);
  const std::string ansiName = AsciiOf(tempPath_);
  if (wide) plugin_.IsSupportedW(tempPath_.c_str(), reinterpret_cast<ULONG_PTR>(header.data()));
  else plugin_.IsSupported(ansiName.c_str(), reinterpret_cast<ULONG_PTR>(header.data()));
  if (haveFile) {
    SetStage(stage, Stage::kIsSupportedHandle);
    HANDLE file = CreateFileW(tempPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      if (wide) plugin_.IsSupportedW(tempPath_.c_str(), reinterpret_cast<ULONG_PTR>(file));
      else plugin_.IsSupported(ansiName.c_str(), reinterpret_cast<ULONG_PTR>(file));
      CloseHandle(file);
    }
  }

  // GetPictureInfo: the record stays as it was on failure; on success hInfo is null (a
  // host frees what is there) and the bytes beyond the fields are the host's.
  const auto info = [&](bool fromFile) {
    // One record's worth of the host's bytes after it: none of them may change.
    struct {
      susie::PictureInfo info;
      BYTE after[8];
    } host, before;
    std::memset(&host, 0xA5, sizeof host);
    before = host;
    susie::PictureInfo& record = host.info;
    const LPCSTR memory = MemorySource(bytes);
    int r;
    if (fromFile) r = wide ? plugin_.GetPictureInfoW(tempPath_.c_str(), 0, 0, &record) : plugin_.GetPictureInfo(ansiName.c_str(), 0, 0, &record);
    else if (wide) r = plugin_.GetPictureInfoW(reinterpret_cast<LPCWSTR>(memory), static_cast<LONG_PTR>(bytes.size()), 1, &record);
    else r = plugin_.GetPictureInfo(memory, static_cast<LONG_PTR>(bytes.size()), 1, &record);
    std::string why;
    if (std::memcmp(host.after, before.after, sizeof host.after) != 0) why = "bytes beyond the record written";
    else if (r != 0 && std::memcmp(&host, &before, sizeof host) != 0) why = "record written on failure " + std::to_string(r);
    else if (r == 0 && record.hInfo != nullptr) why = "success without a null hInfo";
#ifdef _WIN64
    else if (r == 0 && std::memcmp(record.alignment, before.info.alignment, sizeof record.alignment) != 0)
      why = "the record's alignment bytes written";
#endif
    else if (r == 0 && (record.width <= 0 || record.height <= 0)) why = "success with an empty size";
    check(fromFile ? "GetPictureInfo (file)" : "GetPictureInfo (memory)", r, why);
  };
  SetStage(stage, Stage::kInfoMemory);
  info(false);
  if (haveFile) {
    SetStage(stage, Stage::kInfoFile);
    info(true);
  }

  SetStage(stage, Stage::kPictureMemory);
  const Decode fromMemory = Picture(bytes, false, wide, stopAt);
  check("GetPicture (memory)", fromMemory.result, fromMemory.why);
  if (haveFile) {
    SetStage(stage, Stage::kPictureFile);
    const Decode fromFile = Picture(bytes, true, wide, stopAt);
    check("GetPicture (file)", fromFile.result, fromFile.why);
    // The same bytes must give the same answer by either way in.
    // Two pictures of one result differ without fault of the plug-in only where the
    // component itself gives different pixels from the bytes, which is asked of it alone.
    if (fromFile.result != fromMemory.result) {
      wrong.push_back("memory and file disagree: " + std::to_string(fromMemory.result) + " vs " + std::to_string(fromFile.result));
      ++tally.wrong;
    } else if (fromFile.digest != fromMemory.digest) {
      if (ComponentGivesDifferentPixels(bytes)) {
        ++tally.unstableInComponent;
      } else {
        wrong.push_back("memory and file give different pictures");
        ++tally.wrong;
      }
    }
  }
  // GetPreview (not implemented: -1) must still take any input without harm; a quarter
  // of the cases call it.
  if ((variant >> 1) % 4 == 3) {
    SetStage(stage, Stage::kPreview);
    const Decode preview = Picture(bytes, false, false, stopAt, true);
    check("GetPreview (memory)", preview.result, preview.why);
  }
  SetStage(stage, Stage::kIdle);
  return wrong;
}

}  // namespace stress
