// The user's settings as the options of one picture.
#pragma once

#include "decode/PictureOptions.h"

namespace quorvel {

// Reads the settings once; missing or malformed values give their defaults.
PictureOptions CurrentPictureOptions() noexcept;

}  // namespace quorvel
