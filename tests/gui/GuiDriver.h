// Driving the plug-in's windows from a second thread as a person would: find them, click
// their controls, read back what they paint, and photograph them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace gui {

// Polls until find() gives a window (or the timeout passes).
HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs = 10000);
// A visible top-level dialog of this process with the given caption (any when empty)
// and, if given, this owner.
HWND FindDialog(const std::wstring& caption, HWND owner = nullptr);
// Waits until the window is gone.
bool WaitGone(HWND window, DWORD timeoutMs = 10000);

// A click as the button itself would see one; posted, so that a click that opens a
// modal window does not block the driver.
void Click(HWND dialog, int controlId);
void Click(HWND button);

// The colour on screen at the centre of a control, after the window has painted.
COLORREF ColorAtCentre(HWND control);
COLORREF ColorAt(HWND control, int x, int y);  // client coordinates of the control
void Settle(HWND window);  // lets pending paints happen

// Saves the window as it looks on screen, as a PNG file.
bool SaveScreenshot(HWND window, const std::wstring& path);

// Runs body on a thread of its own (the "host's window thread") and joins it.
class HostThread {
 public:
  explicit HostThread(std::function<void()> body) : thread_(std::move(body)) {}
  ~HostThread() {
    if (thread_.joinable()) thread_.join();
  }
  void Join() { thread_.join(); }

 private:
  std::thread thread_;
};

}  // namespace gui
