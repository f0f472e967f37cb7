// The row tables: process-wide, zero at program start, rewritten by each load.
#include "recording/recording.h"

TimeCode timeCodes[MaxRows];
double rollTable[MaxRows];
double pitchTable[MaxRows];
double headingTable[MaxRows];
double altitudeTable[MaxRows];
double speedTable[MaxRows];
double latitudeTable[MaxRows];
double longitudeTable[MaxRows];
double aileronTable[MaxRows];
double elevatorTable[MaxRows];
std::atomic<int32_t> loadedRows;
char transcriptTexts[MaxRows][CaptionBytes];
int32_t transcriptDurations[MaxRows];
