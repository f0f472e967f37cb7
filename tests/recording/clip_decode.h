// Decoding the sample's voice clips in the tests.
#pragma once

// Length of the decoded clip in seconds, or -1 when it does not decode.
double ClipSeconds(const char* path, int* channels, int* rate);
