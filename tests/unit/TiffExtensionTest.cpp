// The extension pattern: what it accepts, its one-time construction under concurrent
// first calls, and a construction that runs out of memory and is tried again.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FailingAllocator.h"
#include "plugin/TiffExtension.h"

namespace quorvel {
namespace {

TEST(TiffExtension, AcceptsTifAndTiffInAnyCaseAndNothingElse) {
  for (const wchar_t* yes : {L".tif", L".TIF", L".Tiff", L".tIfF", L".tiff", L".TIFF"}) EXPECT_TRUE(MatchesTiffExtension(yes)) << yes;
  for (const wchar_t* no : {L"", L".", L".tiff2", L".tifff", L".tf", L".jpg", L"tif", L".ti", L".tif ", L" .tif",
                            L".t\u0130f", L".bak", L".tif.bak"})
    EXPECT_FALSE(MatchesTiffExtension(no)) << no;
  EXPECT_FALSE(MatchesTiffExtension(nullptr));
}

TEST(TiffExtension, FirstCallsFromManyThreadsAtOnceAllAnswerCorrectly) {
  std::atomic<int> ready{0}, wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      ready++;
      while (ready < 8) std::this_thread::yield();
      for (int n = 0; n < 50; ++n)
        if (MatchesTiffExtension(i % 2 ? L".TIFF" : L".tif") != true || MatchesTiffExtension(L".png")) wrong++;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST(TiffExtension, ABuildThatRunsOutOfMemoryIsTriedAgainByTheNextCall) {
  // ctest runs each test in a process of its own, where the pattern is not built yet;
  // with other tests in the same process it may already be.
  if (testing::UnitTest::GetInstance()->test_to_run_count() > 1) GTEST_SKIP() << "needs a process of its own";
  testsupport::FailAllocationsAfter(0);
  EXPECT_THROW(MatchesTiffExtension(L".tif"), std::bad_alloc);
  testsupport::FailAllocationsAfter(3);
  EXPECT_THROW(MatchesTiffExtension(L".tif"), std::bad_alloc);
  testsupport::StopFailingAllocations();
  EXPECT_TRUE(MatchesTiffExtension(L".tif"));
  EXPECT_FALSE(MatchesTiffExtension(L".gif"));
}

}  // namespace
}  // namespace quorvel
