// Version numbers, shared by the resource script and the code.
#pragma once
#define VersionMajor 2
#define VersionMinor 2
#define VersionPatch 0
#define VersionBuild 1
#define VersionText "2, 2, 0, 1"
#define VersionComments "Ver 2.20 (11 Aug 2007)"
