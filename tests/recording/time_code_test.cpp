// The recording's clock: time codes and start rows.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "recording/recording.h"

namespace {

TEST(TimeCodes, WorkedExamplesAndBoundaries) {
  const struct {
    int32_t seconds;
    TimeCode code;
  } cases[] = {
      {0, 0},
      {59, 59},
      {60, 100},
      {65, 105},
      {119, 159},
      {1440, 2400},
      {1441, 2401},
      {3386, 5626},
      {4857, 8057},
      {6005, 10005},
      {-1, -1},
      {-500, -500},
      {INT32_MIN, INT32_MIN},
      {INT32_MAX, INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(SecondsToTimeCode(c.seconds), c.code) << c.seconds;
}

TEST(StartRows, EveryStartListEntryOnItsMinuteAndOtherTexts) {
  for (int k = 0; k <= 32; k++) {
    char text[8];
    snprintf(text, sizeof text, "%d00", k + 24);
    EXPECT_EQ(StartRow(text), 60 * k) << text;
    EXPECT_EQ(SecondsToTimeCode(FirstRowSecond + StartRow(text)), (k + 24) * 100) << text;
    EXPECT_EQ(RowOfTimeCode((k + 24) * 100), StartRow(text)) << text;
  }
  const struct {
    const char* text;
    int32_t row;
  } cases[] = {
      {"2405", 5}, {"5626", 1946}, {"2300", -60}, {"", -1440},  // an empty text reads as 0
  };
  for (const auto& c : cases) EXPECT_EQ(StartRow(c.text), c.row) << c.text;
}

}  // namespace
