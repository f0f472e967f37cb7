// A fresh working folder for a test, removed with everything in it at the end.
#pragma once
#include <string>

// Creates a new empty folder under the system's temporary folder and returns its path.
std::string MakeTempDir();
void RemoveTree(const std::string& path);
// Writes bytes to a file, creating folders on the way. Returns false on failure.
bool WriteTestFile(const std::string& path, const std::string& bytes);
