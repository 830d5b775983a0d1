// A decoding file reaching up into the settings and the plug-in: the layer check must
// refuse both includes, whichever form they take, and let the one into common pass.
#include "settings/SettingsStore.h"
#include "common/ResultCode.h"
#include <plugin/SusieApi.h>
