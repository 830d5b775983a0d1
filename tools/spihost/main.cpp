// spihost: a command-line Susie host. Loads a plug-in DLL by path and runs its exports
// the way an image viewer does.
//
//   spihost PLUGIN info                 the information strings
//   spihost PLUGIN probe FILE           IsSupported with a 2,048-byte header block and with a file handle
//   spihost PLUGIN decode FILE OUT.bmp  GetPictureInfo, then GetPicture with a progress bar; writes OUT.bmp
//   spihost PLUGIN config N             ConfigurationDlg function N (0 about box, 1 settings)
//
// Commands may follow one another: spihost PLUGIN info probe FILE decode FILE OUT.bmp
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Dib.h"
#include "Plugin.h"

namespace {

const char* Meaning(int result) {
  switch (result) {
    case -1: return "not implemented";
    case 0: return "success";
    case 1: return "stopped by the host";
    case 2: return "not a format this plug-in reads";
    case 4: return "out of memory";
    case 8: return "internal error";
    default: return "not a Susie result code";
  }
}

std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

int WINAPI ProgressBar(int numerator, int denominator, LONG_PTR) {
  const int width = 30;
  const int done = denominator > 0 ? numerator * width / denominator : 0;
  std::fprintf(stderr, "\r  [%-*.*s] %3d%%", width, done, "##############################",
               denominator > 0 ? numerator * 100 / denominator : 0);
  if (numerator >= denominator) std::fputc('\n', stderr);
  return 0;
}

int Info(const hostkit::Plugin& plugin) {
  for (int index = 0; index < 10; ++index) {
    wchar_t text[512];
    const int n = plugin.GetPluginInfoW(index, text, static_cast<int>(std::size(text)));
    if (n == 0 && index >= 2) break;
    std::printf("%d: %s\n", index, Narrow(std::wstring(text, n)).c_str());
  }
  return 0;
}

int Probe(const hostkit::Plugin& plugin, const std::wstring& file) {
  char header[2048] = {};
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD read = 0;
    ReadFile(h, header, sizeof(header), &read, nullptr);
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  }
  const int byBlock = plugin.IsSupportedW(file.c_str(), reinterpret_cast<ULONG_PTR>(header));
  std::printf("IsSupported (header block): %s\n", byBlock ? "supported" : "not supported");
  if (h != INVALID_HANDLE_VALUE) {
    const int byHandle = plugin.IsSupportedW(file.c_str(), reinterpret_cast<ULONG_PTR>(h));
    std::printf("IsSupported (file handle):  %s\n", byHandle ? "supported" : "not supported");
    CloseHandle(h);
  } else {
    std::printf("IsSupported (file handle):  the file cannot be opened\n");
  }
  return byBlock ? 0 : 1;
}

int Decode(const hostkit::Plugin& plugin, const std::wstring& file, const std::wstring& out) {
  susie::PictureInfo info{};
  const int infoResult = plugin.GetPictureInfoW(file.c_str(), 0, susie::kInputFile, &info);
  std::printf("GetPictureInfo: %d (%s)\n", infoResult, Meaning(infoResult));
  if (infoResult == 0)
    std::printf("  stored picture %ld x %ld, %d bits per pixel, %u x %u dots per metre\n", info.width, info.height,
                info.colorDepth, info.x_density, info.y_density);
  HLOCAL header = nullptr, pixels = nullptr;
  const int result = plugin.GetPictureW(file.c_str(), 0, susie::kInputFile, &header, &pixels, ProgressBar, 0);
  std::printf("GetPicture: %d (%s)\n", result, Meaning(result));
  int status = result == 0 ? 0 : 1;
  if (header && pixels) {
    hostkit::Dib dib;
    std::string why;
    if (hostkit::ReadDib(header, pixels, dib, &why)) {
      std::printf("  delivered %d x %d, %u bits per pixel, %zu colours; %s\n", dib.Width(), dib.Height(),
                  dib.header.biBitCount, dib.colors.size(), Narrow(out).c_str());
      if (!hostkit::WriteBmp(out, header, pixels)) {
        std::printf("  the bitmap file cannot be written\n");
        status = 1;
      }
    } else {
      std::printf("  the DIB is malformed: %s\n", why.c_str());
      status = 1;
    }
  }
  if (header) LocalFree(header);
  if (pixels) LocalFree(pixels);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: spihost PLUGIN COMMAND... (info | probe FILE | decode FILE OUT.bmp | config N)\n");
    return 2;
  }
  const hostkit::Plugin plugin(argv[1]);
  if (!plugin.IsLoaded()) {
    std::fprintf(stderr, "spihost: cannot load %s as a Susie plug-in (error %lu)\n", Narrow(argv[1]).c_str(),
                 GetLastError());
    return 2;
  }
  // Several commands run one after another in one start of the host (a start under CPU
  // emulation takes about a minute); the exit code is the worst of theirs.
  int status = 0;
  for (int i = 2; i < argc;) {
    const std::wstring command = argv[i];
    const int left = argc - i - 1;
    int result = 0;
    if (command == L"info") {
      result = Info(plugin);
      i += 1;
    } else if (command == L"probe" && left >= 1) {
      result = Probe(plugin, argv[i + 1]);
      i += 2;
    } else if (command == L"decode" && left >= 2) {
      result = Decode(plugin, argv[i + 1], argv[i + 2]);
      i += 3;
    } else if (command == L"config" && left >= 1) {
      const int answer = plugin.ConfigurationDlg(nullptr, _wtoi(argv[i + 1]));
      std::printf("ConfigurationDlg: %d (%s)\n", answer, Meaning(answer));
      result = answer == 0 ? 0 : 1;
      i += 2;
    } else {
      std::fprintf(stderr, "spihost: unknown command or missing argument: %s\n", Narrow(command).c_str());
      return 2;
    }
    std::fflush(stdout);
    if (result > status) status = result;
  }
  return status;
}
