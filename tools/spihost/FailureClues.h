// What the host tool can find out about a failed call beyond the plug-in's result code:
// whether the file is there, what the imaging component itself says about it, and why a
// plug-in does not load.
#pragma once

#include <windows.h>

#include <string>

namespace spihost {

// Empty when the file opens and the imaging component reads its first frame whole;
// otherwise one line such as "the file does not exist" or "the imaging component cannot
// read it: CopyPixels failed with WINCODEC_ERR_STREAMREAD (0x88982F72)".
std::string WhyTheFileFails(const std::wstring& file);

// Why LoadLibrary failed with error for the plug-in at path, in words.
std::string WhyThePluginDoesNotLoad(const std::wstring& path, DWORD error);

// "WINCODEC_ERR_BADHEADER (0x88982F61)" and the like; the bare number for unknown codes.
std::string HresultName(HRESULT hr);

}  // namespace spihost
