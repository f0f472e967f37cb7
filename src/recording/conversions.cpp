// Recorded units to the simulator's. Each product is evaluated left to right with exactly
// these factors: the replay and the simulator's own values agree to the last bit.
#include "recording/recording.h"

double DegreesToAngle(double degrees) { return degrees * 0.5 * 5965232.355555556 * 4.0; }

double FeetToAltitude(double feet) { return feet * 4294967296.0 * 0.3047999902464003; }

double DegreesToLatitude(double degrees) {
  return degrees * 42957189152768000.0 * 0.011111111111111112;
}

double DegreesToLongitude(double degrees) {
  return degrees * 18446744073709551616.0 * 0.002777777777777778;
}
