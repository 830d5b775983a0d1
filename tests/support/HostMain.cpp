// main() of the test programs that load the plug-in as a host does.
#include <windows.h>

#include <gtest/gtest.h>

#include "ConsolePrinter.h"

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  testing::InitGoogleTest(&argc, argv);
  testsupport::ConsolePrinter::Install();
  return RUN_ALL_TESTS();
}
