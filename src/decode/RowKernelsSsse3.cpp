// The kernels for processors with SSSE3, built with it (the row bodies ask the processor first).
#define QUORVEL_KERNEL_SET ssse3
#define QUORVEL_KERNEL_SSSE3 1
#include "decode/RowKernelBodies.h"
