// An end-to-end test peeking at internals: the layer check must refuse it.
#include "plugin/SusieApi.h"
#include "decode/WorkBitmap.h"
