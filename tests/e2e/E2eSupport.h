// Shared by the end-to-end tests: a decode through the loaded plug-in, read back.
#pragma once

#include <string>
#include <vector>

#include "Dib.h"
#include "Plugin.h"

namespace e2e {

struct Delivered {
  int result = -100;
  hostkit::Dib dib;
  bool wellFormed = false;
  std::string why;
};

inline Delivered DecodeMemory(const hostkit::Plugin& plugin, const std::vector<std::uint8_t>& bytes) {
  Delivered d;
  HLOCAL info = nullptr, bits = nullptr;
  d.result = plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), static_cast<LONG_PTR>(bytes.size()), 1, &info,
                               &bits, nullptr, 0);
  if (info && bits) d.wellFormed = hostkit::ReadDib(info, bits, d.dib, &d.why);
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return d;
}

inline Delivered DecodeFile(const hostkit::Plugin& plugin, const std::wstring& path) {
  Delivered d;
  HLOCAL info = nullptr, bits = nullptr;
  d.result = plugin.GetPictureW(path.c_str(), 0, 0, &info, &bits, nullptr, 0);
  if (info && bits) d.wellFormed = hostkit::ReadDib(info, bits, d.dib, &d.why);
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return d;
}

}  // namespace e2e
