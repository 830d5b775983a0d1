// main() of the unit-test program: the core is linked directly, so the load-time work
// of the plug-in (the format table's lock) is done here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "ConsolePrinter.h"
#include "ScratchUserKey.h"

#include "decode/PixelFormatTable.h"

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const testsupport::ScratchUserKey scratch;
  if (!scratch.Active()) {
    fputs("cannot redirect HKEY_CURRENT_USER to a scratch key; no test runs against the real settings\n", stderr);
    return 1;
  }
  quorvel::InitialisePixelFormatTable();
  testing::InitGoogleTest(&argc, argv);
  testsupport::ConsolePrinter::Install();
  return RUN_ALL_TESTS();
}
