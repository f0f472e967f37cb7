// Catmull-Rom interpolation between recorded seconds: the plain form for every channel but
// the heading, and the wrapped form for the heading, whose units go round once per turn.
#include "replay/replay.h"

const double HalfTurn = 2147483648.0;  // 2^31 units: 180 degrees
const double FullTurn = 4294967296.0;  // 2^32 units: 360 degrees

SplineWeights SplineWeightsAt(double t) {
  double t2 = t * t;
  double t3 = t2 * t;
  SplineWeights w;
  w.w0 = 0.5 * (2.0 * t2 - t3 - t);
  w.w1 = 0.5 * (3.0 * t3 - 5.0 * t2 + 2.0);
  w.w2 = 0.5 * (t + 4.0 * t2 - 3.0 * t3);
  w.w3 = 0.5 * (t3 - t2);
  return w;
}

double SplineWith(const SplineWeights& w, double p0, double p1, double p2, double p3) {
  return w.w0 * p0 + w.w1 * p1 + w.w2 * p2 + w.w3 * p3;
}

// The outer neighbours are brought onto the side of the turn of their inner neighbour. The
// tests at exactly half a turn are not symmetric, and a far outer value is dropped to 0.
static void AdjustOuterHeadings(double p1, double p2, double* p0, double* p3) {
  if (*p0 - p1 >= HalfTurn) *p0 = 0.0;
  if (p1 - *p0 >= HalfTurn) *p0 += FullTurn;
  if (p2 - *p3 > HalfTurn) *p3 += FullTurn;
  if (*p3 - p2 >= HalfTurn) *p3 = 0.0;
}

double SplineWrappedWith(const SplineWeights& w, double p0, double p1, double p2, double p3) {
  AdjustOuterHeadings(p1, p2, &p0, &p3);
  double r;
  if (p1 >= p2 && p1 - p2 >= HalfTurn) {  // crossing north upward
    r = SplineWith(w, p0, p1, p2 + FullTurn, p3 + FullTurn);
    if (r >= FullTurn) r -= FullTurn;
  } else if (p1 < p2 && p2 - p1 > HalfTurn) {  // crossing north downward
    r = SplineWith(w, p0, p1, p2 - FullTurn, p3 - FullTurn);
    if (r < 0.0) r += FullTurn;
  } else {
    r = SplineWith(w, p0, p1, p2, p3);
  }
  return r < 0.0 ? 0.0 : r;
}

double Spline(double t, double p0, double p1, double p2, double p3) {
  return SplineWith(SplineWeightsAt(t), p0, p1, p2, p3);
}

double SplineWrapped(double t, double p0, double p1, double p2, double p3) {
  return SplineWrappedWith(SplineWeightsAt(t), p0, p1, p2, p3);
}
