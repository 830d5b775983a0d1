// DecodePicture: the steps from the container check to the hand-over.
#include "decode/DecodePicture.h"

#include "decode/DecoderSession.h"
#include "decode/DibOutput.h"
#include "decode/ParallelDecode.h"
#include "decode/PrepareSource.h"
#include "decode/StreamPicture.h"
#include "decode/WorkBitmap.h"

namespace quorvel {

ResultCode DecodePicture(HLOCAL* pictureInfoOut, HLOCAL* pixelsOut, IWICImagingFactory* factory,
                         IWICBitmapDecoder* decoder, const PictureOptions& options, const Progress& progress,
                         const DirectoryFacts& directory, const ImageSource* input) {
  if (const ResultCode r = CheckTiffContainer(decoder); r != kResultSuccess) return r;
  if (progress.StopRequestedAt(30)) return kResultAborted;

  PreparedSource prepared;
  if (const ResultCode r = PrepareSource(factory, decoder, options, directory, prepared); r != kResultSuccess) return r;
  if (progress.StopRequestedAt(50)) return kResultAborted;

  WorkBitmap bitmap;
  // A large picture is shared out among several decoders where it can be; any failure
  // there leaves the sequential copy to give the answer.
  const auto stream = [&] {
    if (input && StreamPictureInParallel(*input, factory, prepared, bitmap)) return StreamOutcome{kResultSuccess};
    return StreamPicture(factory, prepared.source.Get(), prepared.plan, bitmap);
  };
  StreamOutcome outcome = stream();
  // Some imaging components accept a conversion but cannot carry it out; 32-bit BGR(A)
  // is the conversion every one of them can do.
  if (outcome.result != kResultSuccess && IsUnsupportedConversion(outcome.copyFailure) && prepared.plan.HasFallback()) {
    const ResultCode converted = ConvertToFallback(factory, options, prepared);
    outcome = converted == kResultSuccess ? stream() : StreamOutcome{converted};
  }
  if (outcome.result != kResultSuccess) return outcome.result;
  // The copy has already turned the picture, put its rows in order and reduced it to at
  // most 24 bits; the reports of those steps follow it.
  for (int report : {60, 70, 80, 90})
    if (progress.StopRequestedAt(report)) return kResultAborted;

  LocalBlock info, bits;
  if (const ResultCode built = BuildDib(info, bits, bitmap); built != kResultSuccess) return built;
  *pixelsOut = bits.Release();
  *pictureInfoOut = info.Release();
  // From here the handles are the host's, whatever it answers.
  return progress.StopRequestedAt(100) ? kResultAborted : kResultSuccess;
}

}  // namespace quorvel
