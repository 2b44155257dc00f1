// When the installer's progress window comes and what its bar says (the window itself is driven end to
// end under Wine).
#include <gtest/gtest.h>

#include "app/ProgressState.h"

namespace {

TEST(ProgressState, ShowsOnlyOnceTheOperationsHaveLastedAMoment) {
  struct Row {
    const char* why;
    std::uint32_t start, now;
    bool due;
  };
  const Row rows[] = {
      {"the first report", 1000, 1000, false},
      {"just short of the delay", 1000, 1499, false},
      {"at the delay", 1000, 1500, true},
      {"the tick count wrapped around meanwhile", 0xFFFFFF00u, 0x00000200u, true},
      {"wrapped, still early", 0xFFFFFF00u, 0x00000010u, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TProgressState state;
    EXPECT_FALSE(state.Report(row.start, "Installing American.dct", 0));
    EXPECT_EQ(state.Report(row.now, "Installing American.dct", 10), row.due);
  }
  // The clock runs from the first report of the run, not from each one.
  TProgressState state;
  for (std::uint32_t t = 0; t < 500; t += 100) EXPECT_FALSE(state.Report(t, "Installing a", 0));
  EXPECT_TRUE(state.Report(500, "Installing b", 0));
}

TEST(ProgressState, TheBarAndTheLineFollowTheLastReport) {
  TProgressState state;
  state.Report(0, "Downloading files.1", 40);
  EXPECT_EQ(state.Text(), "Downloading files.1");
  EXPECT_EQ(state.Position(), 40);
  state.Report(1, "Installing American.dct", 250);  // the engine's percentages may exceed 100
  EXPECT_EQ(state.Text(), "Installing American.dct");
  EXPECT_EQ(state.Position(), 100);
  state.Report(2, "Installing American.dct", -1);
  EXPECT_EQ(state.Position(), 0);

  struct Row {
    std::int64_t done, total;
    int percent;
  };
  // A download's share: a size the server did not give counts as nothing done.
  for (const Row& row : {Row{0, 0, 0}, Row{5, 0, 0}, Row{1, 3, 33}, Row{2, 3, 66}, Row{3, 3, 100},
                         Row{4, 3, 100}, Row{3000000000, 4000000000, 75}})
    EXPECT_EQ(TProgressState::Percent(row.done, row.total), row.percent) << row.done << " of " << row.total;
}

}  // namespace
