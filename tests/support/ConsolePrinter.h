// GoogleTest's console output without its copy of each failure or skip to
// OutputDebugString. That copy raises a debug-print exception, and under qemu-i386 7 (the
// 32-bit build's tests on machines that cannot run 32-bit code) Wine's dispatch of an
// exception in a process with more than one thread killed the process; the console lines
// and the XML report are all the test runs need.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace testsupport {

class ConsolePrinter : public testing::TestEventListener {
 public:
  explicit ConsolePrinter(testing::TestEventListener* inner) : inner_(inner) {}

  // Installs the printer in place of GoogleTest's own, which it forwards to.
  static void Install() {
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    if (testing::TestEventListener* inner = listeners.Release(listeners.default_result_printer()))
      listeners.Append(new ConsolePrinter(inner));
  }

  void OnTestPartResult(const testing::TestPartResult& result) override {
    if (result.type() == testing::TestPartResult::kSuccess) return;
    std::printf("%s %s%s\n", testing::internal::FormatFileLocation(result.file_name(), result.line_number()).c_str(),
                result.skipped() ? "Skipped\n" : "Failure\n", result.message());
    std::fflush(stdout);
  }

  void OnTestProgramStart(const testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
  void OnTestIterationStart(const testing::UnitTest& u, int i) override { inner_->OnTestIterationStart(u, i); }
  void OnEnvironmentsSetUpStart(const testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpStart(u); }
  void OnEnvironmentsSetUpEnd(const testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
  void OnTestSuiteStart(const testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
  void OnTestStart(const testing::TestInfo& t) override { inner_->OnTestStart(t); }
  void OnTestEnd(const testing::TestInfo& t) override { inner_->OnTestEnd(t); }
  void OnTestSuiteEnd(const testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
#ifndef GTEST_REMOVE_LEGACY_TEST_CASEAPI_
  // GoogleTest's printer writes the suite lines from these.
  void OnTestCaseStart(const testing::TestCase& c) override { inner_->OnTestCaseStart(c); }
  void OnTestCaseEnd(const testing::TestCase& c) override { inner_->OnTestCaseEnd(c); }
#endif
  void OnEnvironmentsTearDownStart(const testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownStart(u); }
  void OnEnvironmentsTearDownEnd(const testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownEnd(u); }
  void OnTestIterationEnd(const testing::UnitTest& u, int i) override { inner_->OnTestIterationEnd(u, i); }
  void OnTestProgramEnd(const testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

 private:
  std::unique_ptr<testing::TestEventListener> inner_;
};

}  // namespace testsupport
