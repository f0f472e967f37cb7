// Version numbers, in one place for the resource script (the version record and the
// dialog's label) and for the build, which writes them into the manifest.
#pragma once
#define VersionMajor 2
#define VersionMinor 2
#define VersionPatch 0
#define VersionBuild 1

// In two steps, so that the number is quoted and not the name that stands for it.
#define VersionQuote(number) #number
#define VersionDigits(number) VersionQuote(number)
// "2.20": the major number, then the minor and patch numbers run together. windres joins
// adjacent string literals as the compilers do.
#define VersionShort \
  VersionDigits(VersionMajor) "." VersionDigits(VersionMinor) VersionDigits(VersionPatch)
#define VersionText                                                                \
  VersionDigits(VersionMajor) ", " VersionDigits(VersionMinor) ", " VersionDigits( \
      VersionPatch) ", " VersionDigits(VersionBuild)
#define VersionComments "Ver " VersionShort " (11 Aug 2007)"
