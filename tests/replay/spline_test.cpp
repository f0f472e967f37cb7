// The spline, the table-to-field conversion and the flap schedule: pure functions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "replay/replay.h"

namespace {

const double H = 2147483648.0;  // half a turn in heading units
const double F = 4294967296.0;  // a full turn

double Units(double degrees) { return degrees * F / 360.0; }

struct Example {
  double t, p0, p1, p2, p3;  // degrees
  double wrapped, plain;     // results in degrees
};

TEST(Spline, WorkedExamplesThroughBothForms) {
  const Example examples[] = {
      {0.5, 10, 20, 30, 40, 25, 25},
      {0.75, 345, 355, 5, 15, 2.5, 75.625},
      {0.25, 350, 355, 5, 15, 357.1484375, 284.0234375},
      {0.25, 15, 5, 355, 345, 2.5, 75.625},
      {0.75, 15, 5, 355, 345, 357.5, 284.375},
      {0.5, 355, 5, 15, 25, 9.6875, -12.5},
      {0.5, 25, 15, 5, 355, 9.6875, -12.5},
      {0.5, 10, 0, 0, 10, 0, -1.25},
  };
  for (const Example& e : examples) {
    double p0 = Units(e.p0), p1 = Units(e.p1), p2 = Units(e.p2), p3 = Units(e.p3);
    EXPECT_NEAR(SplineWrapped(e.t, p0, p1, p2, p3), Units(e.wrapped), 1e-3) << e.p0 << " t " << e.t;
    EXPECT_NEAR(Spline(e.t, p0, p1, p2, p3), Units(e.plain), 1e-3) << e.p0 << " t " << e.t;
    SplineWeights w = SplineWeightsAt(e.t);  // the frame's form, weights shared by channels
    EXPECT_NEAR(SplineWrappedWith(w, p0, p1, p2, p3), Units(e.wrapped), 1e-3) << e.p0;
    EXPECT_NEAR(SplineWith(w, p0, p1, p2, p3), Units(e.plain), 1e-3) << e.p0;
  }
}

// At t = 0.5 the weights are (-1/16, 9/16, 9/16, -1/16); the expected values below apply
// them to the inputs as each half-turn test should leave them.
double Midpoint(double p0, double p1, double p2, double p3) {
  return -0.0625 * p0 + 0.5625 * p1 + 0.5625 * p2 - 0.0625 * p3;
}

struct Boundary {
  const char* what;
  double p0, p1, p2, p3;
  double expected;
};

TEST(SplineWrapped, HalfTurnBoundariesAreAsymmetric) {
  const double a = 1000.0, b = 3000.0;
  const Boundary cases[] = {
      {"p0 - p1 exactly H: p0 becomes 0", a + H, a, b, b, Midpoint(0, a, b, b)},
      {"p0 - p1 just under H: unchanged", 1e9 + H - 1, 1e9, 1.2e9, 1.2e9,
       Midpoint(1e9 + H - 1, 1e9, 1.2e9, 1.2e9)},
      {"p1 - p0 exactly H: p0 a turn up", a, a + H, a + H, a + H,
       Midpoint(a + F, a + H, a + H, a + H)},
      {"p2 - p3 exactly H: p3 unchanged", b + H, b + H, b + H, b, Midpoint(b + H, b + H, b + H, b)},
      {"p2 - p3 just over H: p3 a turn up", b + H, b + H, b + H + 1, b,
       Midpoint(b + H, b + H, b + H + 1, b + F)},
      {"p3 - p2 exactly H: p3 becomes 0", a, a, a, a + H, Midpoint(a, a, a, 0)},
      {"p1 - p2 exactly H: crosses north upward", b + H, b + H, b, b,
       Midpoint(b + H, b + H, b + F, b + F)},
      {"p2 - p1 exactly H: no crossing", a, a, a + H, a + H, Midpoint(a, a, a + H, a + H)},
      {"p2 - p1 just over H: crosses north downward", a, a, a + H + 1, a + H + 1,
       Midpoint(a, a, a + H + 1 - F, a + H + 1 - F) + F},
  };
  for (const Boundary& c : cases)
    EXPECT_DOUBLE_EQ(SplineWrapped(0.5, c.p0, c.p1, c.p2, c.p3), c.expected) << c.what;
}

TEST(Spline, EndsOfTheSegmentAndFlatInputs) {
  const double values[][4] = {{Units(10), Units(20), Units(30), Units(40)},
                              {Units(350), Units(359), Units(1), Units(20)},
                              {Units(5), Units(1), Units(358), Units(300)},
                              {0, F - 1, 0, 1}};
  for (const auto& v : values) {
    EXPECT_DOUBLE_EQ(Spline(0, v[0], v[1], v[2], v[3]), v[1]);
    EXPECT_DOUBLE_EQ(Spline(1, v[0], v[1], v[2], v[3]), v[2]);
    EXPECT_DOUBLE_EQ(SplineWrapped(0, v[0], v[1], v[2], v[3]), v[1]);
    EXPECT_NEAR(SplineWrapped(1, v[0], v[1], v[2], v[3]), v[2], 1e-6);
  }
  for (double t : {0.0, 0.1, 0.37, 0.5, 0.99}) {
    EXPECT_NEAR(Spline(t, 7e9, 7e9, 7e9, 7e9), 7e9, 1e-3);
    EXPECT_NEAR(SplineWrapped(t, 12345, 12345, 12345, 12345), 12345, 1e-6);
  }
}

TEST(SplineWrapped, NeverNegativeWhereThePlainFormIs) {
  for (double t = 0; t < 1; t += 0.05) {
    double plain = Spline(t, 10, 0, 0, 10);
    EXPECT_GE(SplineWrapped(t, 10, 0, 0, 10), 0.0);
    if (t > 0) {
      EXPECT_LT(plain, 0.0);
    }
  }
}

// The weights worked out by hand from the Catmull-Rom basis; at these t they are exact in
// binary, so the bits must match.
TEST(SplineWeights, WeightsOfTheBasisAtQuarterSteps) {
  const struct {
    double t, w0, w1, w2, w3;
  } cases[] = {{0, 0, 1, 0, 0},
               {0.25, -0.0703125, 0.8671875, 0.2265625, -0.0234375},
               {0.5, -0.0625, 0.5625, 0.5625, -0.0625},
               {0.75, -0.0234375, 0.2265625, 0.8671875, -0.0703125},
               {1, 0, 0, 1, 0}};
  for (const auto& c : cases) {
    SplineWeights w = SplineWeightsAt(c.t);
    EXPECT_EQ(w.w0, c.w0) << c.t;
    EXPECT_EQ(w.w1, c.w1) << c.t;
    EXPECT_EQ(w.w2, c.w2) << c.t;
    EXPECT_EQ(w.w3, c.w3) << c.t;
  }
}

struct Conversion {
  double value;
  uint64_t bits;
};

TEST(ToSimField, TruncatesTowardZeroAndWrapsOutsideTheRange) {
  const double two63 = 9223372036854775808.0, two64 = 18446744073709551616.0;
  const Conversion cases[] = {
      {1.7, 1},
      {-1.7, uint64_t(-1)},
      {0.99, 0},
      {-0.99, 0},
      {3000000000.9, 3000000000u},
      {-4294967296.5, uint64_t(-4294967296LL)},
      {9223372036854774784.0, 0x7FFFFFFFFFFFFC00u},  // largest double below 2^63
      {two63, 0x8000000000000000u},                  // 180 degrees of longitude east...
      {-two63, 0x8000000000000000u},                 // ...and west: the same meridian
      {-two63 - 2048.0, 0x7FFFFFFFFFFFF800u},
      {two64, 0},
      {two64 + 4096.0, 4096},
      {3 * two64 + 16384.0, 16384},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {std::numeric_limits<double>::infinity(), 0},
      {-std::numeric_limits<double>::infinity(), 0},
  };
  for (const Conversion& c : cases) EXPECT_EQ(uint64_t(ToSimField(c.value)), c.bits) << c.value;
}

TEST(ToSimField, NarrowFieldsTakeTheLowBytes) {
  EXPECT_EQ(uint32_t(ToSimField(Units(270))), 3221225472u);  // heading: top bit set
  EXPECT_EQ(int32_t(ToSimField(-1.7)), -1);
  EXPECT_EQ(uint16_t(ToSimField(-2.5)), 0xFFFEu);
  EXPECT_EQ(uint16_t(ToSimField(65537.9)), 1u);
}

TEST(FlapDetents, ScheduleBoundaries) {
  const struct {
    TimeCode timeCode;
    int32_t detents;
  } cases[] = {{2400, 0}, {5117, 0}, {5118, 2}, {5424, 2}, {5425, 3}, {5447, 3},
               {5448, 4}, {5524, 4}, {5525, 5}, {5541, 5}, {5542, 6}, {5556, 6},
               {5557, 5}, {5609, 5}, {5610, 4}, {5626, 4}};
  for (const auto& c : cases) EXPECT_EQ(FlapDetents(c.timeCode), c.detents) << c.timeCode;
}

}  // namespace
