// The leak check sees leaks made inside window code. The leak-sanitizer
// suppressions name only allocations that are Qt's own; a leak whose
// allocation passes through Qt's signal dispatch (every slot's does) must
// still be reported. A child copy of this test program runs one of the
// disabled cases below, clicks a button on the offscreen platform and
// exits; the leak sanitizer judges it at exit.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <string>

#include "support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define STAMPWISE_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STAMPWISE_LEAK_CHECKED 1
#endif
#endif

namespace {

// Kept out of reach of the optimiser so that it names the allocation.
int* volatile kept = nullptr;

[[gnu::noinline]] void LeakOnPurpose() {
  kept = new int[64];
  kept = nullptr;  // the only pointer is gone
}

[[gnu::noinline]] void AllocateAndFree() {
  kept = new int[64];
  delete[] kept;
  kept = nullptr;
}

// Shows a button whose click runs action, and clicks it.
void ClickButtonRunning(void (*action)()) {
  QPushButton button("Leak");
  QObject::connect(&button, &QPushButton::clicked, &button, [action] { action(); });
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
}

}  // namespace

// The children: run only when asked for by name.
TEST(LeakChild, DISABLED_SlotLeaks) { ClickButtonRunning(&LeakOnPurpose); }
TEST(LeakChild, DISABLED_SlotFrees) { ClickButtonRunning(&AllocateAndFree); }

TEST(LeakCheck, LeaksInsideSlotsAreReportedAndQtsOwnAreNot) {
#ifndef STAMPWISE_LEAK_CHECKED
  GTEST_SKIP() << "leaks are checked in the AddressSanitizer tree only";
#else
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  struct {
    const char* test;
    bool leaks;
  } const cases[] = {{"LeakChild.DISABLED_SlotLeaks", true}, {"LeakChild.DISABLED_SlotFrees", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.test);
    const testsupport::CommandResult r = testsupport::Run(
        {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "ASAN_OPTIONS=detect_leaks=1:exitcode=1",
         "LSAN_OPTIONS=exitcode=23:suppressions=" + testsupport::SourceDir() + "/tests/lsan.supp", self,
         std::string("--gtest_filter=") + c.test, "--gtest_also_run_disabled_tests"});
    if (c.leaks) {
      EXPECT_EQ(r.ExitCode, 23) << r.Err;
      EXPECT_NE(r.Err.find("detected memory leaks"), std::string::npos) << r.Err;
      // The report names our function and the Qt frames it came through.
      EXPECT_NE(r.Err.find("LeakOnPurpose"), std::string::npos) << r.Err;
      EXPECT_NE(r.Err.find("libQt6"), std::string::npos) << r.Err;
    } else {
      EXPECT_EQ(r.ExitCode, 0) << r.Err;
      EXPECT_EQ(r.Err.find("detected memory leaks"), std::string::npos) << r.Err;
    }
  }
#endif
}
