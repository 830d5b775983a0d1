// GuiDriver: window search, clicks, pixel reads and screenshots through WIC's PNG encoder.
#include "GuiDriver.h"

#include <wincodec.h>

#include <vector>

namespace gui {

HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = find()) return w;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

namespace {
struct Search {
  std::wstring caption;
  HWND owner;
  HWND found = nullptr;
};
BOOL CALLBACK Visit(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(w)) return TRUE;
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(w, cls, 64);
  GetWindowTextW(w, text, 256);
  if (std::wstring(cls) != L"#32770") return TRUE;
  if (!s->caption.empty() && s->caption != text) return TRUE;
  if (s->owner && GetWindow(w, GW_OWNER) != s->owner) return TRUE;
  s->found = w;
  return FALSE;
}
}  // namespace

HWND FindDialog(const std::wstring& caption, HWND owner) {
  Search s{caption, owner};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&]() -> HWND { return IsWindow(window) ? nullptr : reinterpret_cast<HWND>(1); }, timeoutMs) != nullptr;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
void Click(HWND dialog, int controlId) { Click(GetDlgItem(dialog, controlId)); }

void Settle(HWND window) {
  // A message sent to the window's thread returns only after what was queued before it.
  for (int i = 0; i < 3; ++i) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(30);
  }
}

COLORREF ColorAt(HWND control, int x, int y) {
  POINT p{x, y};
  ClientToScreen(control, &p);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
}

COLORREF ColorAtCentre(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  return ColorAt(control, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  bool ok = false;
  IWICImagingFactory* factory = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  const GUID png = {0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
  const GUID factoryClass = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
  const GUID bgr32 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(CoCreateInstance(factoryClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                 reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateStream(&stream)) && SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory->CreateEncoder(png, nullptr, &encoder)) &&
      SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) && SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
      SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(w, h))) {
    GUID format = bgr32;
    ok = SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WritePixels(h, w * 4, w * 4 * h, static_cast<BYTE*>(bits))) && SUCCEEDED(frame->Commit()) &&
         SUCCEEDED(encoder->Commit());
  }
  if (frame) frame->Release();
  if (encoder) encoder->Release();
  if (stream) stream->Release();
  if (factory) factory->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  DeleteObject(bitmap);
  return ok;
}

}  // namespace gui
