// Class, interface and container GUIDs of the imaging component that the plug-in uses.
#pragma once

#include <guiddef.h>

namespace quorvel {

// The first imaging factory class (CLSID_WICImagingFactory1): present on every Windows
// version with WIC, whereas newer headers may map the plain name to a later class.
inline constexpr GUID kClsidWicImagingFactory1 = {0xcacaf262, 0x9370, 0x4615,
                                                  {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
inline constexpr GUID kIidWicImagingFactory = {0xec5ec8a9, 0xc395, 0x4314,
                                               {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
inline constexpr GUID kGuidContainerFormatTiff = {0x163bcc30, 0xe2e9, 0x4f0b,
                                                  {0x96, 0x1d, 0xa3, 0xe9, 0xfd, 0xb7, 0x88, 0xa3}};

}  // namespace quorvel
