// Test programs keep their hands off the user's own settings: for the life of a
// ScratchUserKey, HKEY_CURRENT_USER of the whole process (the plug-in included) is a
// fresh key of its own, deleted again at the end. Made first thing in main(), before
// anything reads or writes settings. The scratch key is HKCU\Software\Quorvel test
// scratch\<process id>.
#pragma once

#include <windows.h>

namespace testsupport {

class ScratchUserKey {
 public:
  ScratchUserKey();
  ~ScratchUserKey();
  ScratchUserKey(const ScratchUserKey&) = delete;
  ScratchUserKey& operator=(const ScratchUserKey&) = delete;

  // Whether the redirection took; a program whose redirection failed must not run tests.
  bool Active() const { return scratch_ != nullptr; }

 private:
  HKEY scratch_ = nullptr;
};

// The user's real HKEY_CURRENT_USER\Software, opened before the redirection (null without
// one), so that a test can show the real settings untouched.
HKEY RealUserSoftware();

}  // namespace testsupport
