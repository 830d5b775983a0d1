// The first directory's facts (TiffDirectory.h) of what a decoder is opened over: the
// host's memory block read in place, or the file with a few bounded reads of its own.
#pragma once

#include "decode/ImageSource.h"
#include "decode/TiffDirectory.h"

namespace quorvel {

// No facts when the file cannot be opened or read; never throws.
DirectoryFacts ReadSourceDirectory(const ImageSource& source) noexcept;

}  // namespace quorvel
