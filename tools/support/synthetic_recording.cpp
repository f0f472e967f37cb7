#include "synthetic_recording.h"

#include <cmath>

#include "recording/recording.h"

void FillSyntheticRecording(int rows) {
  const double Turn = 4294967296.0;
  const double Garbage = 1e300;
  for (int r = 0; r < MaxRows; r++) {
    bool loaded = r < rows;
    timeCodes[r] = RowTimeCode(r);
    headingTable[r] = loaded ? Turn * (0.1 + 0.0002 * r + 0.01 * std::sin(r * 0.7)) : Garbage;
    pitchTable[r] = loaded ? 1e8 * std::sin(r * 0.3) : Garbage;
    rollTable[r] = loaded ? -3e8 * std::cos(r * 0.2) : Garbage;
    aileronTable[r] = loaded ? 9000 * std::sin(r * 1.1) : Garbage;
    elevatorTable[r] = loaded ? -7000 * std::cos(r * 0.9) : Garbage;
    altitudeTable[r] = loaded ? (3000.0 - r) * Turn : Garbage;
    latitudeTable[r] = loaded ? 1.6e16 + 1e11 * r * r : Garbage;
    longitudeTable[r] = loaded ? -2.6e18 + 3e13 * r : Garbage;
    speedTable[r] = 25600;
  }
  loadedRows = rows;
}
