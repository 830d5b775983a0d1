// spihost: a command-line Susie host. Loads a plug-in DLL by path and runs its exports
// the way an image viewer does.
//
//   spihost PLUGIN info                 the information strings
//   spihost PLUGIN probe FILE           IsSupported with a 2,048-byte header block and with a file handle
//   spihost PLUGIN decode FILE OUT.bmp  GetPictureInfo, then GetPicture with a progress bar; writes OUT.bmp
//   spihost PLUGIN config N             ConfigurationDlg function N (0 about box, 1 settings)
//   spihost PLUGIN batch FOLDER OUTFOLDER   decodes every .tif/.tiff of FOLDER into OUTFOLDER as .bmp
//
// Commands may follow one another: spihost PLUGIN info probe FILE decode FILE OUT.bmp
// When a call fails, the tool says what it can find out besides the result code.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Dib.h"
#include "FailureClues.h"
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

bool g_barOpen = false;  // a progress bar without its line end yet

int WINAPI ProgressBar(int numerator, int denominator, LONG_PTR) {
  const int width = 30;
  const int done = denominator > 0 ? numerator * width / denominator : 0;
  std::fprintf(stderr, "\r  [%-*.*s] %3d%%", width, done, "##############################",
               denominator > 0 ? numerator * 100 / denominator : 0);
  g_barOpen = numerator < denominator;
  if (!g_barOpen) std::fputc('\n', stderr);
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

// One line of what else is known about a file a call failed on.
void PrintClue(const std::wstring& file) {
  const std::string clue = spihost::WhyTheFileFails(file);
  std::printf("  %s\n", clue.empty() ? "the imaging component itself reads the file's first frame whole"
                                      : clue.c_str());
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
  if (!byBlock) PrintClue(file);
  return byBlock ? 0 : 1;
}

int Decode(const hostkit::Plugin& plugin, const std::wstring& file, const std::wstring& out, bool verbose) {
  susie::PictureInfo info{};
  const int infoResult = plugin.GetPictureInfoW(file.c_str(), 0, susie::kInputFile, &info);
  if (verbose) {
    std::printf("GetPictureInfo: %d (%s)\n", infoResult, Meaning(infoResult));
    if (infoResult == 0)
      std::printf("  stored picture %ld x %ld, %d bits per pixel, %u x %u dots per metre\n", info.width, info.height,
                  info.colorDepth, info.x_density, info.y_density);
  }
  HLOCAL header = nullptr, pixels = nullptr;
  const int result = plugin.GetPictureW(file.c_str(), 0, susie::kInputFile, &header, &pixels,
                                        verbose ? ProgressBar : nullptr, 0);
  if (g_barOpen) {
    std::fputc('\n', stderr);
    g_barOpen = false;
  }
  if (verbose || result != 0) std::printf("%sGetPicture: %d (%s)\n", verbose ? "" : "  ", result, Meaning(result));
  if (result != 0) PrintClue(file);
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

bool EndsWith(const std::wstring& name, const wchar_t* suffix) {
  const std::wstring s = suffix;
  return name.size() > s.size() && _wcsicmp(name.c_str() + name.size() - s.size(), s.c_str()) == 0;
}

int Batch(const hostkit::Plugin& plugin, std::wstring folder, std::wstring outFolder) {
  for (std::wstring* f : {&folder, &outFolder})
    if (!f->empty() && f->back() != L'\\' && f->back() != L'/') *f += L'\\';
  if (!CreateDirectoryW(outFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    std::printf("batch: the folder %s cannot be made\n", Narrow(outFolder).c_str());
    return 1;
  }
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (EndsWith(name, L".tif") || EndsWith(name, L".tiff")))
        names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  int failed = 0;
  for (const std::wstring& name : names) {
    std::printf("%s\n", Narrow(name).c_str());
    const std::wstring stem = name.substr(0, name.rfind(L'.'));
    failed += Decode(plugin, folder + name, outFolder + stem + L".bmp", false) != 0;
    std::fflush(stdout);
  }
  std::printf("batch: %zu files, %zu decoded, %d failed\n", names.size(), names.size() - failed, failed);
  return failed || names.empty() ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: spihost PLUGIN COMMAND... (info | probe FILE | decode FILE OUT.bmp | config N |\n"
                         "                                batch FOLDER OUTFOLDER)\n");
    return 2;
  }
  const hostkit::Plugin plugin(argv[1]);
  if (!plugin.IsLoaded()) {
    // Loaded once more, on its own, for the loader's reason.
    DWORD error = 0;
    if (HMODULE again = LoadLibraryW(argv[1]))
      FreeLibrary(again);
    else
      error = GetLastError();
    std::fprintf(stderr, "spihost: cannot load %s as a Susie plug-in: %s\n", Narrow(argv[1]).c_str(),
                 spihost::WhyThePluginDoesNotLoad(argv[1], error).c_str());
    return 2;
  }
  // Several commands run one after another in one start of the host (each start under CPU
  // emulation costs seconds); the exit code is the worst of theirs.
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
      result = Decode(plugin, argv[i + 1], argv[i + 2], true);
      i += 3;
    } else if (command == L"batch" && left >= 2) {
      result = Batch(plugin, argv[i + 1], argv[i + 2]);
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
