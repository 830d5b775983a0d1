// The decoder session: COM initialisation per call, the three decoder sources and the
// container check.
#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "TiffWriter.h"
#include "decode/DecoderSession.h"

namespace quorvel {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempFile;

std::vector<std::uint8_t> SmallTiff() {
  testsupport::TiffPage page;
  page.width = 3;
  page.height = 2;
  page.pixels = {10, 20, 30, 0, 40, 50, 60, 0};
  page.pixels.resize(6);
  return testsupport::WriteTiff(page);
}

// What CoInitializeEx says on this thread now: S_OK means it was not initialised.
HRESULT ProbeAndUndo(DWORD model) {
  const HRESULT hr = CoInitializeEx(nullptr, model);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr;
}

template <class Body>
void OnFreshThread(Body body) {
  std::thread worker(body);
  worker.join();
}

TEST(DecoderSession, OnAnUninitialisedThreadLeavesComAsItFoundIt) {
  OnFreshThread([] {
    for (int i = 0; i < 3; ++i) {
      DecoderSession session;
      EXPECT_EQ(session.Status(), kResultSuccess);
      EXPECT_NE(session.Factory(), nullptr);
    }
    EXPECT_EQ(ProbeAndUndo(COINIT_APARTMENTTHREADED), S_OK);
  });
}

TEST(DecoderSession, BalancesEverySuccessOnAHostThreadInTheSingleThreadedApartment) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    for (int i = 0; i < 5; ++i) {
      DecoderSession session;  // CoInitializeEx answers S_FALSE here
      ASSERT_EQ(session.Status(), kResultSuccess);
    }
    // The host's own initialisation is still in place...
    EXPECT_EQ(ProbeAndUndo(COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    // ...and one CoUninitialize of the host leaves the thread fully uninitialised.
    EXPECT_EQ(ProbeAndUndo(COINIT_APARTMENTTHREADED), S_OK);
  });
}

TEST(DecoderSession, WorksInTheMultithreadedApartmentWithoutUninitialisingIt) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      DecoderSession session;  // RPC_E_CHANGED_MODE: the factory is made in the MTA
      EXPECT_EQ(session.Status(), kResultSuccess);
      Decoder decoder;
      const auto bytes = SmallTiff();
      EXPECT_EQ(OpenMemoryDecoder(session, bytes.data(), static_cast<LONG_PTR>(bytes.size()), decoder), kResultSuccess);
      EXPECT_EQ(CheckTiffContainer(decoder.Get()), kResultSuccess);
    }
    EXPECT_EQ(ProbeAndUndo(COINIT_MULTITHREADED), S_FALSE) << "the host's MTA must still be there";
    CoUninitialize();
    EXPECT_EQ(ProbeAndUndo(COINIT_APARTMENTTHREADED), S_OK);
  });
}

TEST(OpenDecoder, MemorySourceRefusesBadArgumentsBeforeMakingAStream) {
  DecoderSession session;
  Decoder decoder;
  const auto bytes = SmallTiff();
  EXPECT_EQ(OpenMemoryDecoder(session, nullptr, 100, decoder), kResultInternalError);
  EXPECT_EQ(OpenMemoryDecoder(session, bytes.data(), -1, decoder), kResultInternalError);
#if defined(_WIN64)
  EXPECT_EQ(OpenMemoryDecoder(session, bytes.data(), LONG_PTR{1} << 32, decoder), kResultInternalError);
  EXPECT_EQ(OpenMemoryDecoder(session, bytes.data(), (LONG_PTR{1} << 32) + 10, decoder), kResultInternalError);
#endif
  EXPECT_FALSE(decoder);
  EXPECT_EQ(OpenMemoryDecoder(session, bytes.data(), static_cast<LONG_PTR>(bytes.size()), decoder), kResultSuccess);
  EXPECT_TRUE(decoder);
}

TEST(OpenDecoder, FileAndHandleSourcesRefuseEmptyNamesAndInvalidHandles) {
  DecoderSession session;
  Decoder decoder;
  EXPECT_EQ(OpenFileDecoder(session, nullptr, decoder), kResultInternalError);
  EXPECT_EQ(OpenFileDecoder(session, L"", decoder), kResultInternalError);
  EXPECT_EQ(OpenHandleDecoder(session, INVALID_HANDLE_VALUE, decoder), kResultInternalError);
  // A missing file is a failing HRESULT that is not "unknown format".
  EXPECT_EQ(OpenFileDecoder(session, L"Z:\\no\\such\\file.tif", decoder), kResultInternalError);
  EXPECT_FALSE(decoder);
}

TEST(OpenDecoder, FilesMemoryAndHandlesReadTheSameTiff) {
  const TempFile file(SmallTiff());
  DecoderSession session;
  const auto bytes = ReadFileBytes(file.Path());
  for (const ImageSource source : {ImageSource::File(file.Path().c_str()), ImageSource::Memory(bytes.data(), bytes.size())}) {
    Decoder decoder;
    EXPECT_EQ(OpenDecoder(session, source, decoder), kResultSuccess);
    EXPECT_EQ(CheckTiffContainer(decoder.Get()), kResultSuccess);
  }
  {
    HANDLE handle = CreateFileW(file.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    Decoder decoder;
    EXPECT_EQ(OpenHandleDecoder(session, handle, decoder), kResultSuccess);
    EXPECT_EQ(CheckTiffContainer(decoder.Get()), kResultSuccess);
    decoder.Reset();
    // The handle is still the caller's and still usable.
    EXPECT_NE(SetFilePointer(handle, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(CloseHandle(handle));
  }
}

TEST(CheckTiffContainer, OtherContainersAndNonImagesGiveUnknownFormat) {
  DecoderSession session;
  for (const wchar_t* name : {L"not-tiff.png", L"not-tiff.jpg"}) {
    const auto bytes = ReadFileBytes(testsupport::DataFolder() + name);
    ASSERT_FALSE(bytes.empty()) << "test data missing";
    Decoder decoder;
    ASSERT_EQ(OpenMemoryDecoder(session, bytes.data(), static_cast<LONG_PTR>(bytes.size()), decoder), kResultSuccess);
    EXPECT_EQ(CheckTiffContainer(decoder.Get()), kResultUnknownFormat);
  }
  const std::vector<std::uint8_t> text(300, 'x');
  Decoder decoder;
  EXPECT_EQ(OpenMemoryDecoder(session, text.data(), static_cast<LONG_PTR>(text.size()), decoder), kResultUnknownFormat);
}

}  // namespace
}  // namespace quorvel
