// The host's progress callback with its data, as the decoding steps report to it.
#pragma once

#include <windows.h>

namespace quorvel {

// The host's callback as the plug-in interface defines it: non-zero asks to stop.
using ProgressCallback = int(WINAPI*)(int numerator, int denominator, LONG_PTR data);

class Progress {
 public:
  Progress(ProgressCallback callback, LONG_PTR data) noexcept : callback_(callback), data_(data) {}

  // Reports n of 100; true when the host asks to stop. Without a callback nothing is
  // reported and the work goes on.
  bool StopRequestedAt(int n) const noexcept { return callback_ != nullptr && callback_(n, 100, data_) != 0; }

 private:
  ProgressCallback callback_;
  LONG_PTR data_;
};

}  // namespace quorvel
