// A decoding file reaching up into the settings: the layer check must refuse it.
#include "settings/SettingsStore.h"
#include "common/ResultCode.h"
