// Voice playback: the thread that plays the cockpit voice clips in step with the replay.
#pragma once
#include <windows.h>
#include "common/shared_words.h"
#include "voice/vox.h"

const int ClipCount = 57;
extern const TimeCode clipTimeCodes[ClipCount];

// Vox.dll. Program entry loads and unloads it; the voice thread looks up CreateVox in it.
extern HMODULE voiceLibrary;

// Plays the clips one row ahead of currentRow and holds them while simPaused is 1. Ends only
// when stopRequested is set. Without a player from Vox.dll it plays nothing and only waits
// for the stop.
DWORD WINAPI VoiceThread(LPVOID unused);

// 1 when voiceLibrary holds a CreateVox export, so that the voice option can work. Called by
// the control dialog.
int VoiceAvailable();
