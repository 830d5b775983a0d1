// The kernels for every processor the plug-in runs on.
#define QUORVEL_KERNEL_SET sse2
#define QUORVEL_KERNEL_SSSE3 0
#include "decode/RowKernelBodies.h"
