#include "core/fatal.h"

#include <gtest/gtest.h>

#include "core/types.h"

namespace qv {
namespace {

TEST(FatalTest, IndexOutOfRangeStopsWithMinusOne) {
  const TextArray items = {"a", "b"};
  EXPECT_EQ(items[1], "a");
  EXPECT_EQ(items[2], "b");
  EXPECT_EXIT((void)items[0], testing::ExitedWithCode(255), "index 0 out of range 1..2");
  EXPECT_EXIT((void)items[3], testing::ExitedWithCode(255), "index 3 out of range");
  const TextArray none;
  EXPECT_EXIT((void)none[1], testing::ExitedWithCode(255), "out of range 1..0");
}

TEST(FatalTest, InstalledReporterSeesTheMessage) {
  EXPECT_EXIT(
      {
        SetFatalReporter([](std::string_view m) { fprintf(stderr, "REPORTED<%s>", m.data()); });
        RuntimeErrorStop("choice index 9 outside its list", "Choose");
      },
      testing::ExitedWithCode(255), "REPORTED<Fatal error: choice index 9 outside its list");
}

}  // namespace
}  // namespace qv
