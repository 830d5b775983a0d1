// main() of the test programs that load the plug-in as a host does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "ConsolePrinter.h"
#include "ScratchUserKey.h"

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const testsupport::ScratchUserKey scratch;
  if (!scratch.Active()) {
    fputs("cannot redirect HKEY_CURRENT_USER to a scratch key; no test runs against the real settings\n", stderr);
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  testsupport::ConsolePrinter::Install();
  return RUN_ALL_TESTS();
}
