// A Vox.dll look-alike whose CreateVox returns no player.
extern "C" __declspec(dllexport) void* __cdecl CreateVox() { return nullptr; }
