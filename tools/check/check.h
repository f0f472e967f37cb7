// VRN505Check: checks a folder's data\ and sound\ as VRN505Ostavin.exe reads them and tells
// the user, in Japanese, every problem with its file and line.
#pragma once

// Prints one finding on standard output: "file N行目: what", or "file: what" for line 0.
void Report(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int FindingCount();

// The checks, each run in the folder that holds data\ and sound\.
void CheckDataFiles();   // the eight numeric files
void CheckTranscript();  // data\cvrText.dat
void CheckClips();       // the 57 clips sound\<time code>.ogg
