// Voice playback: the thread that plays the cockpit voice clips in step with the replay.
#pragma once
#include <windows.h>
#include "recording/recording.h"
#include "voice/vox.h"

const int ClipCount = 57;
extern const TimeCode clipTimeCodes[ClipCount];

// Vox.dll. Program entry loads and unloads it; the voice thread looks up CreateVox in it.
extern HMODULE voiceLibrary;

DWORD WINAPI VoiceThread(LPVOID unused);
