// The clip player that Vox.dll provides: a COM-style object whose first member points to its
// table of operations; every operation takes the object first. Slots 0-3, 9 and 13 are used.
#pragma once
#include <windows.h>
#include <cstdint>

struct VoicePlayer;

// __stdcall is the 32-bit build's convention; a 64-bit build has only one, and the compiler
// ignores the keyword there, so these types are right for both builds and Vox.dll's alike.
typedef uint8_t(__stdcall* VoxOpenFn)(VoicePlayer* self, const char* fileName);
typedef void(__stdcall* VoxActionFn)(VoicePlayer* self);
typedef int32_t(__stdcall* VoxIsPlayingFn)(VoicePlayer* self);

const int VoxSlotOpen = 0;
const int VoxSlotPlay = 1;
const int VoxSlotPause = 2;
const int VoxSlotStop = 3;
const int VoxSlotRelease = 9;
const int VoxSlotIsPlaying = 13;
const int VoxSlotCount = 14;

// The table's slots are code addresses; each used slot is cast to its operation's type.
struct VoicePlayer {
  void* const* operations;
};

typedef VoicePlayer*(__cdecl* CreateVoxFn)();
