// StreamPictureInParallel: range 0 on the calling thread with the decoder it already has,
// the others on threads of their own, each with its own COM apartment, factory, decoder,
// converter and scratch band; all threads are joined before the call returns.
#include "decode/ParallelDecode.h"

#include <new>
#include <vector>

#include "common/GuidEquality.h"
#include "common/Owners.h"
#include "decode/DecoderSession.h"
#include "decode/ParallelForRows.h"
#include "decode/StreamPicture.h"

namespace quorvel {
namespace {

ParallelDecodeTuning& Tuning() noexcept { return ParallelDecodeTuningForTests(); }

struct Worker {
  const ImageSource* input = nullptr;
  const PreparedSource* prepared = nullptr;
  WorkBitmap* picture = nullptr;
  RowRange range;
  RangeShare share;
  ResultCode result = kResultInternalError;
};

ResultCode DecodeRange(const Worker& w) {
  if (Tuning().startWorker)
    if (const HRESULT hr = Tuning().startWorker(w.share.index); FAILED(hr)) return MapFailure(hr);
  const DecoderSession session;  // first in, last out: COM outlives every object below
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  if (const ResultCode r = OpenDecoder(session, *w.input, decoder); r != kResultSuccess) return r;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.Put())) || !frame) return kResultInternalError;
  // The same input must give the same frame; anything else is no share of this picture.
  const FrameDescription& d = w.prepared->description;
  UINT width = 0, height = 0;
  GUID format{};
  if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&format)) || width != d.width ||
      height != d.height || !SameGuid(format, d.format))
    return kResultInternalError;
  ComPtr<IWICBitmapSource> source;
  if (const HRESULT hr = MakeSourceInFormat(session.Factory(), frame.Get(), format, w.prepared->plan.target, source);
      FAILED(hr) || !source)
    return kResultInternalError;
  return CopySourceRows(source.Get(), w.prepared->plan, *w.picture, w.range.begin, w.range.end, w.share).result;
}

// Windows starts a 32-bit thread with a stack aligned to 4 bytes only; the copy keeps SSE
// values on the stack, so the entry realigns it.
#if defined(__GNUC__) && defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
DWORD WINAPI RunWorker(void* parameter) noexcept {
  auto& w = *static_cast<Worker*>(parameter);
  try {
    w.result = DecodeRange(w);
  } catch (...) {  // the format table's std::bad_alloc: this share fails, nothing else
    w.result = kResultOutOfMemory;
  }
  return 0;
}

// The picture's block goes at once: the sequential decode allocates its own, and the two
// must never be held together.
bool GiveUp(WorkBitmap& picture) noexcept {
  picture.Clear();
  Tuning().gaveUp.fetch_add(1, std::memory_order_relaxed);
  return false;
}

}  // namespace

bool WorthSharingOut(std::uint32_t width, std::uint32_t height) noexcept {
  return static_cast<std::uint64_t>(width) * height >= Tuning().limits.minPixels;
}

ParallelDecodeTuning& ParallelDecodeTuningForTests() noexcept {
  static ParallelDecodeTuning tuning;  // made on first use, whatever the order of static initialisation
  return tuning;
}

bool StreamPictureInParallel(const ImageSource& input, IWICImagingFactory* factory, const PreparedSource& prepared,
                             WorkBitmap& picture) {
  const CopyPlan& plan = prepared.plan;
  if (plan.result != kResultSuccess || !prepared.source) return false;
  std::vector<RowRange> ranges;
  std::vector<Worker> workers;
  try {
    ranges = SplitRowsIntoBands(plan.sourceWidth, plan.sourceHeight, prepared.description.stripRows,
                                Tuning().decoders ? Tuning().decoders : static_cast<std::uint32_t>(ProcessorsToUse()),
                                Tuning().limits);
    // The thread handles below are a fixed array: a split into more ranges is refused.
    if (ranges.size() < 2 || ranges.size() > kMostDecoders) return false;
    workers.resize(ranges.size() - 1);
  } catch (const std::bad_alloc&) {
    return GiveUp(picture);
  }
  if (BeginPicture(factory, prepared.source.Get(), plan, picture).result != kResultSuccess) return GiveUp(picture);

  KernelHandle threads[kMostDecoders - 1];
  const auto shares = static_cast<std::uint32_t>(ranges.size());
  bool started = true;
  for (std::size_t i = 0; i < workers.size(); ++i) {
    workers[i] = {&input, &prepared, &picture, ranges[i + 1], {static_cast<std::uint32_t>(i + 1), shares}};
    threads[i].Reset(CreateThread(nullptr, 0, RunWorker, &workers[i], 0, nullptr));
    if (!threads[i]) {
      started = false;
      break;
    }
  }
  // Range 0 only when every share is under way: otherwise its work would be thrown away.
  const bool firstDone =
      started && CopySourceRows(prepared.source.Get(), plan, picture, ranges[0].begin, ranges[0].end,
                                RangeShare{0, shares})
                         .result == kResultSuccess;
  bool allDone = firstDone;
  for (std::size_t i = 0; i < workers.size(); ++i) {
    if (!threads[i]) continue;
    WaitForSingleObject(threads[i].Get(), INFINITE);
    allDone = allDone && workers[i].result == kResultSuccess;
  }
  if (!allDone) return GiveUp(picture);
  FinishPicture(picture);
  Tuning().sharedOut.fetch_add(1, std::memory_order_relaxed);
  return true;
}

}  // namespace quorvel
