// The HRESULT-to-result mapping and the ANSI name conversion.
#include <gtest/gtest.h>

#include "common/ResultCode.h"
#include "plugin/WidenAnsi.h"

namespace quorvel {
namespace {

TEST(MapFailure, MapsEachFailureToItsResultAndNeverToSuccess) {
  struct Row {
    std::uint32_t hr;
    ResultCode expected;
  };
  const Row rows[] = {
      {0x88982F50u, kResultUnknownFormat},   // component not found
      {0x88982F60u, kResultUnknownFormat},   // bad image
      {0x88982F61u, kResultUnknownFormat},   // bad header
      {0x8007000Eu, kResultOutOfMemory},     // E_OUTOFMEMORY
      {0x88982F51u, kResultInternalError},   // component initialise failure: not "unknown format"
      {0x88982F81u, kResultInternalError},   // unsupported operation
      {0x80004005u, kResultInternalError},   // E_FAIL
      {0x80070002u, kResultInternalError},   // file not found
      {0x800707D0u, kResultInternalError},   // invalid pixel format
      {0x00000000u, kResultInternalError},   // S_OK passed by mistake
      {0x00000001u, kResultInternalError},   // S_FALSE
      {0x7FFFFFFFu, kResultInternalError},
  };
  for (const Row& row : rows) EXPECT_EQ(MapFailure(static_cast<HRESULT>(row.hr)), row.expected) << std::hex << row.hr;
}

TEST(WidenAnsi, NullEmptyAndConvertedNames) {
  EXPECT_EQ(WidenAnsi(nullptr), L"");
  EXPECT_EQ(WidenAnsi(""), L"");
  EXPECT_EQ(WidenAnsi("C:\\pics\\a.tif"), L"C:\\pics\\a.tif");
  // A character beyond ASCII goes through the system code page, whatever it is.
  const char accented[] = "caf\xE9.tif";
  wchar_t expected[16] = {};
  const int n = MultiByteToWideChar(CP_ACP, 0, accented, -1, expected, 16);
  ASSERT_GT(n, 1);
  const std::wstring wide = WidenAnsi(accented);
  EXPECT_EQ(wide, std::wstring(expected));
  EXPECT_EQ(wide.size(), std::wcslen(expected)) << "the terminating zero is not part of the string";
}

}  // namespace
}  // namespace quorvel
