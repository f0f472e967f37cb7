// The fuzz build's stand-ins for the parsers' surroundings (win32_shim.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Separates the data files in a fuzz input, in the order of dataFilePaths; a file that the
// input does not reach is missing.
const uint8_t FileSeparator = 0x1E;
void SplitIntoDataFiles(const uint8_t* data, size_t size);
// A read-only stream of the bytes, which must outlive it.
FILE* OpenBytes(const std::string& bytes);
