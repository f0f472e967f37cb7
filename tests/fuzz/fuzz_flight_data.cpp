// The whole load of a data set: the input holds the nine data files, each ended by
// FileSeparator, in the order LoadFlightData opens them.
#include <cstdlib>

#include "recording/recording.h"
#include "replay/replay.h"
#include "win32_shim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SplitIntoDataFiles(data, size);
  showText = 1;
  LoadFlightData();
  // Every path out of the load closes the set and keeps within the tables.
  for (FILE* file : dataFiles)
    if (file) abort();
  if (loadedRows < 0 || loadedRows > MaxRows) abort();
  return 0;
}
