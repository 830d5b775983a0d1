// bench: what the plug-in adds on top of the imaging component's own decode, measured in
// one process, interleaved, as medians over several rounds.
//
//   bench [--rounds N] [--megapixels M] [--only KIND] [--no-steps] [--sharing] [--baseline FILE]
//
// --baseline: another build of the plug-in (a file in the bench's folder, for example the
// last release's) timed in the same rounds, so that before and after come from one run.
// For each test picture (RGB, RGBA with mixed alpha, 8-bit palette, 5-5-5, in strips;
// RGB in 256 x 256 and 512 x 512 tiles; uncompressed and LZW; orientations 1, 3, 6, 8, or
// 1 and 6 for the tiled ones) it times the bare WIC decode of the frame into the
// format the plug-in converts it into, and GetPicture end to end through the DLL, and
// reports their ratio, the ratio of a turned picture to the same picture unturned, and
// the peak of the plug-in's pixel memory in blocks of the delivered picture's size.
// Then the copy out of the component alone, against a memcpy of the delivered bytes, and
// (--sharing) the decode shared out among decoders against one decoder by picture size,
// which is how the size threshold for sharing out was chosen.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LocalAllocationCounter.h"
#include "Plugin.h"
#include "ScratchUserKey.h"
#include "TestEnvironment.h"
#include "TiffWriter.h"
#include "decode/LoadPicture.h"
#include "decode/ParallelDecode.h"
#include "decode/ParallelForRows.h"
#include "decode/PixelFormatTable.h"
#include "decode/StreamPicture.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Kind {
  const char* name;
  std::function<testsupport::TiffPage(std::uint32_t, std::uint32_t)> make;
  GUID decodeFormat;  // what the plug-in converts the unturned frame into
  std::vector<int> orientations = {1, 3, 6, 8};
};

// The same picture in square tiles instead of strips of 64 rows.
std::function<testsupport::TiffPage(std::uint32_t, std::uint32_t)> Tiled(
    std::function<testsupport::TiffPage(std::uint32_t, std::uint32_t)> make, std::uint32_t tile) {
  return [make, tile](std::uint32_t w, std::uint32_t h) {
    testsupport::TiffPage p = make(w, h);
    p.tileWidth = p.tileLength = tile;
    return p;
  };
}

testsupport::TiffPage Page(std::uint32_t w, std::uint32_t h, std::uint16_t bits, std::uint16_t samples, std::uint16_t photometric) {
  testsupport::TiffPage p;
  p.width = w;
  p.height = h;
  p.bitsPerSample = bits;
  p.samplesPerPixel = samples;
  p.photometric = photometric;
  p.rowsPerStrip = 64;
  p.pixels.resize(p.RowBytes() * h);
  return p;
}

// Photograph-like content (smooth gradients with texture), so LZW has realistic work.
std::uint8_t Value(std::uint32_t x, std::uint32_t y, std::uint32_t c) {
  return static_cast<std::uint8_t>((x * (3 + c) / 7 + y * (5 - c) / 9 + ((x * 31 + y * 17 + c * 7) % 23)) & 255);
}

std::vector<Kind> BaseKinds() {
  const GUID bgr24 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};
  const GUID bgra32 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0f}};
  const GUID indexed8 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x04}};
  const GUID bgr555 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x09}};
  return {
      {"RGB 8-bit",
       [](auto w, auto h) {
         auto p = Page(w, h, 8, 3, 2);
         for (std::uint32_t y = 0; y < h; ++y)
           for (std::uint32_t x = 0; x < w; ++x)
             for (std::uint32_t c = 0; c < 3; ++c) p.pixels[y * p.RowBytes() + 3 * x + c] = Value(x, y, c);
         return p;
       },
       bgr24},
      {"RGBA 8-bit",
       [](auto w, auto h) {
         auto p = Page(w, h, 8, 4, 2);
         p.extraSamples = {2};
         for (std::uint32_t y = 0; y < h; ++y)
           for (std::uint32_t x = 0; x < w; ++x) {
             for (std::uint32_t c = 0; c < 3; ++c) p.pixels[y * p.RowBytes() + 4 * x + c] = Value(x, y, c);
             // A third transparent, a third opaque, a third in between.
             const std::uint32_t band = (x / 97 + y / 61) % 3;
             p.pixels[y * p.RowBytes() + 4 * x + 3] = band == 0 ? 0 : band == 1 ? 255 : static_cast<std::uint8_t>(1 + (x + y) % 253);
           }
         return p;
       },
       bgra32},
      {"palette 8-bit",
       [](auto w, auto h) {
         auto p = Page(w, h, 8, 1, 3);
         p.colorMap.resize(768);
         for (int i = 0; i < 256; ++i) {
           p.colorMap[i] = static_cast<std::uint16_t>(i * 257);
           p.colorMap[256 + i] = static_cast<std::uint16_t>((255 - i) * 257);
           p.colorMap[512 + i] = static_cast<std::uint16_t>((i * 7 % 256) * 257);
         }
         for (std::uint32_t y = 0; y < h; ++y)
           for (std::uint32_t x = 0; x < w; ++x) p.pixels[y * p.RowBytes() + x] = Value(x, y, 1);
         return p;
       },
       indexed8},
      {"5-5-5 16-bit",
       [](auto w, auto h) {
         auto p = Page(w, h, 5, 3, 2);
         for (std::uint32_t y = 0; y < h; ++y)
           for (std::uint32_t x = 0; x < w; ++x)
             for (std::uint32_t c = 0; c < 3; ++c) {
               const std::uint32_t v = Value(x, y, c) >> 3, bit = (x * 3 + c) * 5;
               for (std::uint32_t b = 0; b < 5; ++b)
                 if (v >> (4 - b) & 1) p.pixels[y * p.RowBytes() + (bit + b) / 8] |= static_cast<std::uint8_t>(0x80 >> ((bit + b) % 8));
             }
         return p;
       },
       bgr555},
  };
}

std::vector<Kind> Kinds() {
  std::vector<Kind> kinds = BaseKinds();
  const Kind rgb = kinds[0];
  for (std::uint32_t tile : {256u, 512u})
    kinds.push_back({tile == 256 ? "RGB tiles 256" : "RGB tiles 512", Tiled(rgb.make, tile), rgb.decodeFormat, {1, 6}});
  return kinds;
}

// The bare imaging-component decode: decoder over the bytes, frame 0, converted into
// format when it has another, into a freshly allocated block, and the component's objects
// released again, as any finished decode must (GetPicture's time includes its releases
// too; the block itself is kept, as GetPicture hands its block to the host). Seconds, or -1.
double BareDecode(IWICImagingFactory* factory, const std::vector<std::uint8_t>& bytes, const GUID& format) {
  const double start = Now();
  // Over the bytes in place, as the plug-in reads a host's memory: a copy of the file
  // would be part of neither decode.
  IWICStream* stream = nullptr;
  if (SUCCEEDED(factory->CreateStream(&stream)) &&
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())))) {
    stream->Release();
    stream = nullptr;
  }
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  HLOCAL block = nullptr;
  bool decoded = false;
  if (stream && SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame))) {
    IWICBitmapSource* source = frame;
    GUID own{};
    frame->GetPixelFormat(&own);
    if (std::memcmp(&own, &format, sizeof(GUID)) != 0 && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, format, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeMedianCut)))
      source = converter;
    UINT w = 0, h = 0;
    source->GetSize(&w, &h);
    WICPixelFormatGUID f{};
    source->GetPixelFormat(&f);
    const UINT bits = quorvel::LookUpPixelFormat(f).bitCount;
    const UINT stride = ((w * bits + 7) / 8 + 3) & ~3u;
    block = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(stride) * h);
    decoded = block && SUCCEEDED(source->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE*>(block)));
  }
  if (converter) converter->Release();
  if (frame) frame->Release();
  if (decoder) decoder->Release();
  if (stream) stream->Release();
  const double seconds = Now() - start;
  LocalFree(block);
  return decoded ? seconds : -1;
}

struct Decoded {
  double seconds = -1;
  double peakBlocks = 0;
  int result = -100;
};

Decoded GetPictureOnce(const hostkit::Plugin& plugin, const std::vector<std::uint8_t>& bytes) {
  Decoded d;
  HLOCAL info = nullptr, bits = nullptr;
  hostkit::LocalAllocationCounter::ResetPeak();
  const std::int64_t before = hostkit::LocalAllocationCounter::Now().bytes;
  const double start = Now();
  d.result = plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits, nullptr, 0);
  const double end = Now();
  if (d.result == 0) {
    d.seconds = end - start;
    const auto* h = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
    const double pictureBytes = static_cast<double>(((h->biWidth * h->biBitCount + 31) / 32) * 4) * h->biHeight;
    LocalUnlock(info);
    d.peakBlocks = static_cast<double>(hostkit::LocalAllocationCounter::Now().peakBytes - before) / pictureBytes;
  }
  if (info) hostkit::LocalAllocationCounter::FreeHandedOver(info);
  if (bits) hostkit::LocalAllocationCounter::FreeHandedOver(bits);
  return d;
}

// Sets the value of the orientation tag (a SHORT held in its IFD entry) in place.
void SetOrientation(std::vector<std::uint8_t>& file, int orientation) {
  const std::uint32_t ifd = file[4] | file[5] << 8 | file[6] << 16 | static_cast<std::uint32_t>(file[7]) << 24;
  const std::uint32_t count = file[ifd] | file[ifd + 1] << 8;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* entry = file.data() + ifd + 2 + 12 * i;
    if ((entry[0] | entry[1] << 8) == 274) {
      entry[8] = static_cast<std::uint8_t>(orientation);
      entry[9] = 0;
    }
  }
}

// The copy out of the imaging component as GetPicture does it (bands of rows turned,
// put bottom-up and reduced to 24 bits on their way into the DIB), from an in-memory
// bitmap of the component, so that no decoding is timed: against a memcpy of the
// delivered bytes into a fresh block. Each round writes into a fresh block, as every
// GetPicture does.
void CopyOutSteps(IWICImagingFactory* factory, std::uint32_t w, std::uint32_t h, int rounds) {
  using namespace quorvel;
  const GUID bgr24 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};
  const GUID bgra32 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0f}};
  const GUID bgr32 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};
  struct Copy {
    const char* name;
    const GUID* format;
    std::uint32_t bytesPerPixel;
    std::uint32_t rotation;
    bool halfTransparent;
  };
  const Copy copies[] = {
      {"copy out bottom-up, 24-bit", &bgr24, 3, 0, false},
      {"copy out, quarter turn clockwise, 24-bit", &bgr24, 3, 1, false},
      {"copy out, quarter turn counter-clockwise, 24-bit", &bgr24, 3, 3, false},
      {"copy out, half turn, 24-bit", &bgr24, 3, 2, false},
      // Turned pictures without alpha come out of the component as 32bppBGR.
      {"copy out, quarter turn clockwise, 32 to 24 bits", &bgr32, 4, 1, false},
      {"copy out bottom-up, 32 to 24 bits composited", &bgra32, 4, 0, true},
      {"copy out, quarter turn clockwise, composited", &bgra32, 4, 1, true},
  };
  std::printf("\nCopy out of an in-memory bitmap of the imaging component, %u x %u (medians of %d), relative to a memcpy of the delivered bytes into a fresh block\n",
              w, h, rounds);
  std::printf("%-50s %10s %10s %8s\n", "step", "ms", "memcpy ms", "ratio");
  for (const Copy& copy : copies) {
    const UINT stride = (w * copy.bytesPerPixel + 3) & ~3u;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * h);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    if (copy.halfTransparent)
      for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 128;
    IWICBitmap* bitmap = nullptr;
    if (FAILED(factory->CreateBitmapFromMemory(w, h, *copy.format, stride, static_cast<UINT>(pixels.size()), pixels.data(), &bitmap)))
      continue;
    // Planned as for a frame of that format: the bitmap is read as it is.
    FrameDescription frame;
    frame.width = w;
    frame.height = h;
    frame.format = *copy.format;
    frame.transform.rotation = copy.rotation;
    const CopyPlan plan = PlanCopy(frame, PictureOptions{}, copy.format);
    const std::size_t outBytes = static_cast<std::size_t>(((copy.rotation % 2 ? h : w) * 3 + 3) & ~3u) * (copy.rotation % 2 ? w : h);
    std::vector<std::uint8_t> from(outBytes, 1);
    std::vector<double> timed, copied;
    for (int i = 0; i < rounds + 1; ++i) {
      WorkBitmap picture;
      const double start = Now();
      const StreamOutcome outcome = StreamPicture(factory, bitmap, plan, picture);
      const double seconds = Now() - start;
      if (outcome.result != kResultSuccess) break;
      const double copyStart = Now();
      // The same fresh-block start as the copy's: first touches of new pages cost as much
      // as the copying itself here.
      if (HLOCAL to = LocalAlloc(LMEM_FIXED, outBytes)) {
        std::memcpy(to, from.data(), outBytes);
        LocalFree(to);
      }
      const double copySeconds = Now() - copyStart;
      if (i == 0) continue;
      timed.push_back(seconds);
      copied.push_back(copySeconds);
    }
    bitmap->Release();
    if (timed.empty()) continue;
    const double ms = 1000 * Median(timed), base = 1000 * Median(copied);
    std::printf("%-50s %10.1f %10.1f %8.2f\n", copy.name, ms, base, ms / base);
  }
}

// The whole decode through the core (LoadPicture, what GetPicture runs after its argument
// checks), shared out among decoders and by one decoder, interleaved round by round, for
// RGB pictures of several sizes in strips of 64 rows. Seconds per decode, medians.
void SharingBySize(int rounds) {
  using namespace quorvel;
  ParallelDecodeTuning& tuning = ParallelDecodeTuningForTests();
  const BandSplitLimits product = tuning.limits;
  std::printf("\nShared out among %d decoders against one decoder, by size (medians of %d; RGB 8-bit, strips of 64 rows)\n",
              ProcessorsToUse(), rounds);
  // Whether the component lets decoders in one process work at once: two whole decodes of
  // the same 8 MP LZW picture on two threads against one alone (about 1 where they run
  // side by side on two processors, about 2 where the component serialises them).
  {
    testsupport::TiffPage page = Kinds()[0].make(3464, 2308);
    page.compression = 5;
    const auto bytes = testsupport::WriteTiff(page);
    const ImageSource source = ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size()));
    tuning.limits.minPixels = ~0ull;
    const auto decodeOnce = [&] {
      HLOCAL info = nullptr, bits = nullptr;
      LoadPicture(source, PictureOptions{}, &info, &bits, Progress(nullptr, 0));
      LocalFree(info);
      LocalFree(bits);
    };
    std::vector<double> one, two;
    for (int round = 0; round < rounds + 1; ++round) {
      double start = Now();
      decodeOnce();
      const double alone = Now() - start;
      start = Now();
      std::thread other(decodeOnce);
      decodeOnce();
      other.join();
      const double together = Now() - start;
      if (round > 0) {
        one.push_back(alone);
        two.push_back(together);
      }
    }
    std::printf("two decodes on two threads at once / one alone: %.2f (%.1f ms / %.1f ms)\n", Median(two) / Median(one),
                1000 * Median(two), 1000 * Median(one));
  }
  std::printf("%-8s %-5s %4s %12s %12s %8s\n", "MP", "comp", "ori", "one ms", "shared ms", "ratio");
  for (double mp : {0.5, 1.0, 2.0, 4.0, 8.0}) {
    const std::uint32_t w = static_cast<std::uint32_t>(std::sqrt(mp * 1e6 * 1.5)) & ~1u;
    const std::uint32_t h = static_cast<std::uint32_t>(mp * 1e6 / w) & ~1u;
    testsupport::TiffPage page = Kinds()[0].make(w, h);
    for (std::uint16_t compression : {1, 5})
      for (int orientation : {1, 6}) {
        page.compression = compression;
        page.orientation = orientation;
        const auto bytes = testsupport::WriteTiff(page);
        const ImageSource source = ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size()));
        std::vector<double> one, shared;
        for (int round = 0; round < rounds + 1; ++round)
          for (bool share : {false, true}) {
            tuning.limits.minPixels = share ? 0 : ~0ull;
            HLOCAL info = nullptr, bits = nullptr;
            const double start = Now();
            const ResultCode r = LoadPicture(source, PictureOptions{}, &info, &bits, Progress(nullptr, 0));
            const double seconds = Now() - start;
            LocalFree(info);
            LocalFree(bits);
            if (round > 0 && r == kResultSuccess) (share ? shared : one).push_back(seconds);
          }
        if (one.empty() || shared.empty()) continue;
        const double a = 1000 * Median(one), b = 1000 * Median(shared);
        std::printf("%-8.1f %-5s %4d %12.1f %12.1f %8.2f\n", mp, compression == 1 ? "none" : "LZW", orientation, a, b, b / a);
      }
  }
  tuning.limits = product;
}

}  // namespace

int main(int argc, char** argv) {
  const testsupport::ScratchUserKey scratch;  // the benchmark's default settings stay its own
  int rounds = 5;
  double megapixels = 24;
  std::string only;  // a picture kind to limit the run to
  bool steps = true, sharing = false;
  std::string baselineName;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-steps") == 0) steps = false;
    if (std::strcmp(argv[i], "--sharing") == 0) sharing = true;
  }
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--megapixels") == 0) megapixels = std::max(0.01, std::atof(argv[i + 1]));
    if (std::strcmp(argv[i], "--baseline") == 0) baselineName = argv[i + 1];
  }
  const std::uint32_t w = static_cast<std::uint32_t>(std::sqrt(megapixels * 1e6 * 1.5)) & ~1u;
  const std::uint32_t h = static_cast<std::uint32_t>(megapixels * 1e6 / w) & ~1u;
  quorvel::InitialisePixelFormatTable();
  const testsupport::CleanSettings defaults;  // no settings: composite on white, orientation honoured
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IWICImagingFactory* factory = nullptr;
  const GUID factoryClass = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
  CoCreateInstance(factoryClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&factory));
  const hostkit::Plugin plugin;
  if (!plugin.IsLoaded() || !factory) {
    std::fprintf(stderr, "bench: the plug-in or the imaging component cannot be loaded\n");
    return 1;
  }
  hostkit::LocalAllocationCounter::Install(plugin.Module());
  std::unique_ptr<hostkit::Plugin> baseline;
  if (!baselineName.empty()) {
    baseline = std::make_unique<hostkit::Plugin>(hostkit::ProgramFolder() + std::wstring(baselineName.begin(), baselineName.end()));
    if (!baseline->IsLoaded()) {
      std::fprintf(stderr, "bench: the baseline %s cannot be loaded\n", baselineName.c_str());
      return 1;
    }
    hostkit::LocalAllocationCounter::Install(baseline->Module());
    std::printf("baseline: %s, timed in the same rounds (\"vs before\": GetPicture / the baseline's)\n", baselineName.c_str());
  }
  std::printf("Quorvel bench: %s, pictures %u x %u (%.1f MP), medians of %d rounds\n",
              sizeof(void*) == 8 ? QUORVEL_FILE_NAME " (x64)" : QUORVEL_FILE_NAME " (x86)", w, h, w * h / 1e6, rounds);

  std::printf("\n%-16s %-5s %4s %10s %12s %12s %14s %12s %10s\n", "picture", "comp", "ori", "WIC ms", "GetPicture ms",
              "vs WIC", "vs unturned", "peak blocks", baseline ? "vs before" : "");
  // One kind at a time, so that the 32-bit bench keeps its files within its address space;
  // within a kind, the baseline and every orientation are interleaved round by round.
  for (const Kind& kind : Kinds()) {
    if (!only.empty() && std::string(kind.name).find(only) == std::string::npos) continue;
    struct Case {
      const char* compression;
      int orientation;
      std::vector<double> bare, get, before;
      double peak = 0;
      int result = 0;
    };
    std::vector<std::vector<std::uint8_t>> files;  // one per compression; the orientation is patched in
    std::vector<Case> cases;
    {
      testsupport::TiffPage page = kind.make(w, h);
      page.orientation = 1;
      for (std::uint16_t compression : {1, 5}) {
        page.compression = compression;
        files.push_back(testsupport::WriteTiff(page));
        for (int orientation : kind.orientations) cases.push_back({compression == 1 ? "none" : "LZW", orientation, {}, {}, {}});
      }
    }
    for (int round = 0; round < rounds + 1; ++round) {
      for (std::size_t i = 0; i < cases.size(); ++i) {
        Case& c = cases[i];
        std::vector<std::uint8_t>& bytes = files[i / kind.orientations.size()];
        SetOrientation(bytes, c.orientation);
        const double bare = c.orientation == 1 ? BareDecode(factory, bytes, kind.decodeFormat) : -1;
        const Decoded d = GetPictureOnce(plugin, bytes);
        const Decoded b = baseline ? GetPictureOnce(*baseline, bytes) : Decoded{};
        c.result = d.result;
        if (round == 0) continue;  // warm-up round
        if (b.seconds >= 0) c.before.push_back(b.seconds);
        if (bare >= 0) c.bare.push_back(bare);
        if (d.seconds >= 0) c.get.push_back(d.seconds);
        c.peak = std::max(c.peak, d.peakBlocks);
      }
    }
    // "vs WIC": against the bare single-threaded decode of the same frame (the unturned
    // file of the same compression), for every orientation.
    double unturned = 0, bare = 0;
    for (const Case& c : cases) {
      if (c.get.empty()) {
        std::printf("%-16s %-5s %4d %10s %12s   (GetPicture answers %d: the imaging component cannot read it)\n", kind.name,
                    c.compression, c.orientation, "-", "-", c.result);
        continue;
      }
      const double get = 1000 * Median(c.get);
      char versus[32] = "";
      if (!c.before.empty()) std::snprintf(versus, sizeof versus, "%10.2f", get / (1000 * Median(c.before)));
      if (c.orientation == 1) {
        unturned = get;
        bare = c.bare.empty() ? 0 : 1000 * Median(c.bare);
        std::printf("%-16s %-5s %4d %10.1f %12.1f %12.2f %14s %12.2f %s\n", kind.name, c.compression, c.orientation, bare, get,
                    bare > 0 ? get / bare : 0.0, "", c.peak, versus);
      } else {
        std::printf("%-16s %-5s %4d %10s %12.1f %12.2f %14.2f %12.2f %s\n", kind.name, c.compression, c.orientation, "", get,
                    bare > 0 ? get / bare : 0.0, get / unturned, c.peak, versus);
      }
    }
    std::fflush(stdout);
  }
  if (steps) {
    CopyOutSteps(factory, w, h, rounds);
  }
  if (sharing) SharingBySize(rounds);
  factory->Release();
  return 0;
}
