// Progress reports shared by the codecs: the percentage is the exact integer
// part of (row + 1) / rows x 100, free of floating-point rounding.
#include <gtest/gtest.h>

#include <vector>

#include "engine/codec_conventions.h"

namespace engine_test {
namespace {

struct Report {
  int direction, percent, row, reserved;
};
std::vector<Report> reports;

void Record(std::int32_t direction, std::int32_t percent, std::int32_t row, std::int32_t reserved) {
  reports.push_back(Report{direction, percent, row, reserved});
}

TEST(ProgressReportTest, PercentIsTheIntegerPartOfRowsDone) {
  EXPECT_EQ(engine::ProgressPercent(0, 3), 33);
  EXPECT_EQ(engine::ProgressPercent(1, 3), 66);
  EXPECT_EQ(engine::ProgressPercent(2, 3), 100);
  // 29 / 100 x 100 is 28.999... in binary floating point.
  EXPECT_EQ(engine::ProgressPercent(28, 100), 29);
  EXPECT_EQ(engine::ProgressPercent(56, 100), 57);
  EXPECT_EQ(engine::ProgressPercent(0, 1), 100);
  // Large pictures must not overflow 32 bits on the way.
  EXPECT_EQ(engine::ProgressPercent(1999999999, 2000000000), 100);
  EXPECT_EQ(engine::ProgressPercent(999999999, 2000000000), 50);
  EXPECT_EQ(engine::ProgressPercent(0, 0), 0);
}

TEST(ProgressReportTest, CallbackReceivesDirectionPercentRowAndZero) {
  reports.clear();
  engine::ReportProgress(Record, engine::kProgressReading, 4, 10);
  engine::ReportProgress(Record, engine::kProgressWriting, 9, 10);
  engine::ReportProgress(nullptr, engine::kProgressWriting, 9, 10);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].direction, 1);
  EXPECT_EQ(reports[0].percent, 50);
  EXPECT_EQ(reports[0].row, 4);
  EXPECT_EQ(reports[0].reserved, 0);
  EXPECT_EQ(reports[1].direction, 0);
  EXPECT_EQ(reports[1].percent, 100);
  EXPECT_EQ(reports[1].row, 9);
}

}  // namespace
}  // namespace engine_test
