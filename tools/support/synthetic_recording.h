// A smooth synthetic recording in the row tables, for the replay's tests and benchmark.
#pragma once

// Fills rows 0..rows-1 so that every channel changes from row to row and none crosses north;
// the rows past them hold values far out of range, so that a read past the load shows up in
// the flown values. Sets loadedRows.
void FillSyntheticRecording(int rows);
