// Deeper in a layer's folder, a settings header reaching into the plug-in: refused.
#include "plugin/PluginInfo.h"
