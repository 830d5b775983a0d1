// ConfigurationDlg's two functions: 0 the about box, 1 the settings dialog.
#pragma once

#include <windows.h>

#include "common/ResultCode.h"

namespace quorvel {

ResultCode RunConfiguration(HWND parent, int function) noexcept;

}  // namespace quorvel
