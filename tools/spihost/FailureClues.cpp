// The imaging component is asked directly, step by step as a decode goes, and the first
// step that fails is named.
#include "FailureClues.h"

#include <wincodec.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace spihost {
namespace {

struct Releaser {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using ComOwner = std::unique_ptr<T, Releaser>;

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using FileOwner = std::unique_ptr<void, HandleCloser>;

std::string Failed(const char* step, HRESULT hr) {
  return std::string("the imaging component cannot read it: ") + step + " failed with " + HresultName(hr);
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  for (DWORD i = 0; i < n; ++i)
    if (text[i] >= 32 && text[i] < 127) out += static_cast<char>(text[i]);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "error " + std::to_string(error) : out + " (error " + std::to_string(error) + ")";
}

// The machine a PE file is built for, or 0 when it is not one.
WORD PeMachine(const std::wstring& path) {
  const FileOwner file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return 0;
  IMAGE_DOS_HEADER dos{};
  DWORD read = 0;
  if (!ReadFile(file.get(), &dos, sizeof(dos), &read, nullptr) || read != sizeof(dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
    return 0;
  if (SetFilePointer(file.get(), dos.e_lfanew, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER header;
  } nt{};
  if (!ReadFile(file.get(), &nt, sizeof(nt), &read, nullptr) || read != sizeof(nt) || nt.signature != IMAGE_NT_SIGNATURE)
    return 0;
  return nt.header.Machine;
}

}  // namespace

std::string HresultName(HRESULT hr) {
  struct Name {
    HRESULT hr;
    const char* name;
  };
  static const Name kNames[] = {
      {WINCODEC_ERR_WRONGSTATE, "WINCODEC_ERR_WRONGSTATE"},
      {WINCODEC_ERR_VALUEOUTOFRANGE, "WINCODEC_ERR_VALUEOUTOFRANGE"},
      {WINCODEC_ERR_UNKNOWNIMAGEFORMAT, "WINCODEC_ERR_UNKNOWNIMAGEFORMAT"},
      {WINCODEC_ERR_UNSUPPORTEDVERSION, "WINCODEC_ERR_UNSUPPORTEDVERSION"},
      {WINCODEC_ERR_NOTINITIALIZED, "WINCODEC_ERR_NOTINITIALIZED"},
      {WINCODEC_ERR_ALREADYLOCKED, "WINCODEC_ERR_ALREADYLOCKED"},
      {WINCODEC_ERR_PROPERTYNOTFOUND, "WINCODEC_ERR_PROPERTYNOTFOUND"},
      {WINCODEC_ERR_PROPERTYNOTSUPPORTED, "WINCODEC_ERR_PROPERTYNOTSUPPORTED"},
      {WINCODEC_ERR_PROPERTYSIZE, "WINCODEC_ERR_PROPERTYSIZE"},
      {WINCODEC_ERR_CODECPRESENT, "WINCODEC_ERR_CODECPRESENT"},
      {WINCODEC_ERR_CODECNOTHUMBNAIL, "WINCODEC_ERR_CODECNOTHUMBNAIL"},
      {WINCODEC_ERR_PALETTEUNAVAILABLE, "WINCODEC_ERR_PALETTEUNAVAILABLE"},
      {WINCODEC_ERR_CODECTOOMANYSCANLINES, "WINCODEC_ERR_CODECTOOMANYSCANLINES"},
      {WINCODEC_ERR_INTERNALERROR, "WINCODEC_ERR_INTERNALERROR"},
      {WINCODEC_ERR_SOURCERECTDOESNOTMATCHDIMENSIONS, "WINCODEC_ERR_SOURCERECTDOESNOTMATCHDIMENSIONS"},
      {WINCODEC_ERR_COMPONENTNOTFOUND, "WINCODEC_ERR_COMPONENTNOTFOUND"},
      {WINCODEC_ERR_IMAGESIZEOUTOFRANGE, "WINCODEC_ERR_IMAGESIZEOUTOFRANGE"},
      {WINCODEC_ERR_TOOMUCHMETADATA, "WINCODEC_ERR_TOOMUCHMETADATA"},
      {WINCODEC_ERR_BADIMAGE, "WINCODEC_ERR_BADIMAGE"},
      {WINCODEC_ERR_BADHEADER, "WINCODEC_ERR_BADHEADER"},
      {WINCODEC_ERR_FRAMEMISSING, "WINCODEC_ERR_FRAMEMISSING"},
      {WINCODEC_ERR_BADMETADATAHEADER, "WINCODEC_ERR_BADMETADATAHEADER"},
      {WINCODEC_ERR_BADSTREAMDATA, "WINCODEC_ERR_BADSTREAMDATA"},
      {WINCODEC_ERR_STREAMWRITE, "WINCODEC_ERR_STREAMWRITE"},
      {WINCODEC_ERR_STREAMREAD, "WINCODEC_ERR_STREAMREAD"},
      {WINCODEC_ERR_STREAMNOTAVAILABLE, "WINCODEC_ERR_STREAMNOTAVAILABLE"},
      {WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, "WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT"},
      {WINCODEC_ERR_UNSUPPORTEDOPERATION, "WINCODEC_ERR_UNSUPPORTEDOPERATION"},
      {WINCODEC_ERR_INVALIDREGISTRATION, "WINCODEC_ERR_INVALIDREGISTRATION"},
      {WINCODEC_ERR_COMPONENTINITIALIZEFAILURE, "WINCODEC_ERR_COMPONENTINITIALIZEFAILURE"},
      {WINCODEC_ERR_INSUFFICIENTBUFFER, "WINCODEC_ERR_INSUFFICIENTBUFFER"},
      {WINCODEC_ERR_DUPLICATEMETADATAPRESENT, "WINCODEC_ERR_DUPLICATEMETADATAPRESENT"},
      {WINCODEC_ERR_PROPERTYUNEXPECTEDTYPE, "WINCODEC_ERR_PROPERTYUNEXPECTEDTYPE"},
      {WINCODEC_ERR_UNEXPECTEDSIZE, "WINCODEC_ERR_UNEXPECTEDSIZE"},
      {WINCODEC_ERR_INVALIDQUERYREQUEST, "WINCODEC_ERR_INVALIDQUERYREQUEST"},
      {WINCODEC_ERR_UNEXPECTEDMETADATATYPE, "WINCODEC_ERR_UNEXPECTEDMETADATATYPE"},
      {WINCODEC_ERR_REQUESTONLYVALIDATMETADATAROOT, "WINCODEC_ERR_REQUESTONLYVALIDATMETADATAROOT"},
      {WINCODEC_ERR_INVALIDQUERYCHARACTER, "WINCODEC_ERR_INVALIDQUERYCHARACTER"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {E_NOTIMPL, "E_NOTIMPL"},
      {E_FAIL, "E_FAIL"},
      {E_UNEXPECTED, "E_UNEXPECTED"},
      {E_ACCESSDENIED, "E_ACCESSDENIED"},
      {E_ABORT, "E_ABORT"},
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)"},
      {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)"},
      {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), "HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)"},
  };
  char number[16];
  std::snprintf(number, sizeof(number), "0x%08lX", static_cast<unsigned long>(hr));
  for (const Name& n : kNames)
    if (n.hr == hr) return std::string(n.name) + " (" + number + ")";
  return number;
}

std::string WhyTheFileFails(const std::wstring& file) {
  const FileOwner opened(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (opened.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "the file does not exist";
    return "the file cannot be opened: " + SystemMessage(error);
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(opened.get(), &size) && size.QuadPart == 0) return "the file is empty";

  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  struct Uninit {
    bool balance;
    ~Uninit() {
      if (balance) CoUninitialize();
    }
  } uninit{SUCCEEDED(init)};
  std::string verdict;
  [&] {
    IWICImagingFactory* raw = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw));
    if (FAILED(hr)) return void(verdict = "the imaging component is not available: " + HresultName(hr));
    const ComOwner<IWICImagingFactory> factory(raw);
    IWICBitmapDecoder* rawDecoder = nullptr;
    hr = factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                            &rawDecoder);
    if (FAILED(hr)) return void(verdict = Failed("CreateDecoderFromFilename", hr));
    const ComOwner<IWICBitmapDecoder> decoder(rawDecoder);
    GUID container{};
    if (SUCCEEDED(decoder->GetContainerFormat(&container)) && container != GUID_ContainerFormatTiff)
      verdict = "not a TIFF file (the imaging component reads it as another format); ";
    IWICBitmapFrameDecode* rawFrame = nullptr;
    hr = decoder->GetFrame(0, &rawFrame);
    if (FAILED(hr)) return void(verdict += Failed("GetFrame(0)", hr));
    const ComOwner<IWICBitmapFrameDecode> frame(rawFrame);
    UINT width = 0, height = 0;
    hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) return void(verdict += Failed("GetSize", hr));
    IWICFormatConverter* rawConverter = nullptr;
    hr = factory->CreateFormatConverter(&rawConverter);
    if (FAILED(hr)) return void(verdict += Failed("CreateFormatConverter", hr));
    const ComOwner<IWICFormatConverter> converter(rawConverter);
    hr = converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                               WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return void(verdict += Failed("the conversion to 32bppBGRA", hr));
    // Row by row, as far as the last row: a truncated file fails where its data ends.
    if (width > (1u << 26)) return void(verdict += "the picture is " + std::to_string(width) + " pixels wide");
    std::vector<BYTE> row(static_cast<std::size_t>(width) * 4);
    for (UINT y = 0; y < height; ++y) {
      const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), 1};
      hr = converter->CopyPixels(&rect, width * 4, static_cast<UINT>(row.size()), row.data());
      if (FAILED(hr)) return void(verdict += Failed(("CopyPixels of row " + std::to_string(y)).c_str(), hr));
    }
    if (!verdict.empty()) verdict += "its first frame reads whole";
  }();
  return verdict;
}

std::string WhyThePluginDoesNotLoad(const std::wstring& path, DWORD error) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return "the file does not exist";
  if (error == ERROR_BAD_EXE_FORMAT) {
    const WORD machine = PeMachine(path);
    const bool ownIs64 = sizeof(void*) == 8;
    if (machine == IMAGE_FILE_MACHINE_I386 && ownIs64)
      return "it is a 32-bit plug-in and this spihost is the 64-bit build: run the 32-bit spihost (spihost --x86)";
    if (machine == IMAGE_FILE_MACHINE_AMD64 && !ownIs64)
      return "it is a 64-bit plug-in and this spihost is the 32-bit build: run the 64-bit spihost (spihost --x64)";
    if (machine == 0) return "it is not a Windows DLL";
  }
  if (error == 0) return "it loads but does not export the Susie functions";
  return SystemMessage(error);
}

}  // namespace spihost
