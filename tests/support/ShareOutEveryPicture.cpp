// Linked only into the test build of the plug-in (QuorvelSharedOut): every picture of two
// or more strips is shared out among the decoders, whatever its size, so that the stress
// program's passes run the shared-out decode on small pictures too.
#include "decode/ParallelDecode.h"

namespace {

const bool kEveryPictureSharedOut = [] {
  quorvel::ParallelDecodeTuningForTests().limits.minPixels = 0;
  return true;
}();

}  // namespace
