// A large picture decoded by several decoders side by side: the imaging component decodes
// a frame on one thread, so each extra thread opens the same input once more (the file by
// name, or the host's memory block in place) and decodes its own range of whole strips
// into the shared output picture, each range landing on places no other range writes.
// Any failure anywhere gives up the attempt, and the caller decodes the picture
// sequentially from the start, so the answer is always the sequential one.
#pragma once

#include <wincodec.h>

#include <atomic>
#include <cstdint>

#include "decode/BandSplit.h"
#include "decode/ImageSource.h"
#include "decode/PrepareSource.h"
#include "decode/WorkBitmap.h"

namespace quorvel {

// True when the picture was decoded whole and `picture` holds it (padding zeroed); false
// when it is too small to share out, has one strip, or anything failed: then decode it
// sequentially (BeginPicture allocates `picture` afresh).
bool StreamPictureInParallel(const ImageSource& input, IWICImagingFactory* factory, const PreparedSource& prepared,
                             WorkBitmap& picture);

// What the tests adjust and watch. The defaults are the product's.
struct ParallelDecodeTuning {
  BandSplitLimits limits;
  std::uint32_t decoders = 0;  // how many to share out among; 0: one per processor
  // Called at the start of each extra decoder's thread (index 1 and up); a failure it
  // returns fails that decoder.
  HRESULT (*startWorker)(std::uint32_t index) = nullptr;
  std::atomic<unsigned> sharedOut{0};  // pictures delivered by several decoders
  std::atomic<unsigned> gaveUp{0};     // attempts given up for the sequential decode
};
ParallelDecodeTuning& ParallelDecodeTuningForTests() noexcept;

}  // namespace quorvel
