// The stand-in Vox.dll: a clip player with the operations table the voice thread calls.
// Open reads the clip, its headers and its first sound (clip_decode.h), and accepts it when
// it gives sound; its length is the stream's own by its last page, so a clip cut short ends
// where it was cut. Open stays cheap, as the voice thread opens a clip again and again until
// its row begins. The clip's clock runs on QueryPerformanceCounter: Play, Pause, Stop and
// IsPlaying follow the clip's length in real time. Where a wave output device exists a
// feeder thread decodes while playing and feeds it; where none does (Wine here) the clock
// runs silently. Every call is logged.
#include "vox_log.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "clip_decode.h"
#include "clock.h"

namespace {

enum ClipState { NoClip, Ready, Playing, Held };

const int BufferCount = 4;
const int BufferFrames = 4410;  // 100 ms at 44.1 kHz
const int MaxChannels = 2;

struct Vox {
  void* const* operations;
  CRITICAL_SECTION lock;
  char file[MAX_PATH];
  ClipImage image;      // the last clip opened, whole
  ClipStart start;      // its format and length, when it gives sound
  ClipDecoder decoder;  // the opened clip on the device, opened afresh at every fresh Play
  int state;
  double lengthMs;
  double playedMs;    // clip time played before the current run
  double runStartMs;  // clock reading when the current run began
  int silent;         // 1 when there is no wave output to feed
  HWAVEOUT device;
  int deviceChannels, deviceRate;
  WAVEHDR headers[BufferCount];
  short samples[BufferCount][BufferFrames * MaxChannels];
  HANDLE wake;  // set by the device when a buffer is done, and by Play
  HANDLE feeder;
  volatile LONG quitting;
  int buffersFed;  // buffers queued on the device in the object's life, for the log
};

// ---- Clip clock ---------------------------------------------------------------------------

double ClipPositionMs(const Vox* vox) {
  if (vox->state != Playing) return vox->playedMs;
  return vox->playedMs + PerformanceMs() - vox->runStartMs;
}

// A clip that has run its length is over: it rests at its start, ready to play again.
void SettleClip(Vox* vox) {
  if (vox->state == Playing && ClipPositionMs(vox) >= vox->lengthMs) {
    vox->state = Ready;
    vox->playedMs = 0;
  }
}

void CloseDecoder(Vox* vox) { CloseClipDecoder(&vox->decoder); }

// ---- Wave output ----------------------------------------------------------------------

void UnprepareBuffers(Vox* vox) {
  for (WAVEHDR& header : vox->headers)
    if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(vox->device, &header, sizeof header);
}

void CloseDevice(Vox* vox) {
  if (!vox->device) return;
  waveOutReset(vox->device);
  UnprepareBuffers(vox);
  waveOutClose(vox->device);
  vox->device = nullptr;
}

// Opens the device in the clip's format, keeping it when the format is the same.
int OpenDevice(Vox* vox, int channels, int rate) {
  if (vox->device && vox->deviceChannels == channels && vox->deviceRate == rate) return 1;
  CloseDevice(vox);
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = WORD(channels);
  format.nSamplesPerSec = DWORD(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = WORD(channels * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  if (waveOutOpen(&vox->device, WAVE_MAPPER, &format, DWORD_PTR(vox->wake), 0, CALLBACK_EVENT) !=
      MMSYSERR_NOERROR) {
    vox->device = nullptr;
    return 0;
  }
  vox->deviceChannels = channels;
  vox->deviceRate = rate;
  return 1;
}

// Decodes the next stretch of the clip into every free buffer and queues it.
void FeedDevice(Vox* vox) {
  for (int i = 0; i < BufferCount; ++i) {
    WAVEHDR& header = vox->headers[i];
    if (header.dwFlags & WHDR_INQUEUE) continue;
    if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(vox->device, &header, sizeof header);
    int channels = vox->deviceChannels;
    long frames = DecodeClip(&vox->decoder, vox->samples[i], BufferFrames, channels);
    if (frames <= 0) return;
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(vox->samples[i]);
    header.dwBufferLength = DWORD(frames * channels * 2);
    waveOutPrepareHeader(vox->device, &header, sizeof header);
    waveOutWrite(vox->device, &header, sizeof header);
    ++vox->buffersFed;
  }
}

DWORD WINAPI FeederThread(LPVOID context) {
  Vox* vox = static_cast<Vox*>(context);
  while (!vox->quitting) {
    WaitForSingleObject(vox->wake, 50);
    EnterCriticalSection(&vox->lock);
    if (vox->state == Playing && vox->device && vox->decoder.opened) FeedDevice(vox);
    LeaveCriticalSection(&vox->lock);
  }
  return 0;
}

// Starts the opened clip on the device from its beginning; a failing device makes the
// player silent for good, the clock still runs.
void StartOnDevice(Vox* vox) {
  if (vox->silent) return;
  int channels = vox->start.channels > MaxChannels ? MaxChannels : vox->start.channels;
  if (!OpenDevice(vox, channels, int(vox->start.rate))) {
    vox->silent = 1;
    return;
  }
  if (!vox->feeder) vox->feeder = CreateThread(nullptr, 0, FeederThread, vox, 0, nullptr);
  waveOutReset(vox->device);
  CloseDecoder(vox);
  OpenClipDecoder(&vox->decoder, vox->image.bytes, vox->image.size);
  waveOutRestart(vox->device);
  SetEvent(vox->wake);
}

void HaltDevice(Vox* vox) {
  if (vox->device) waveOutReset(vox->device);
}

// ---- Operations ---------------------------------------------------------------------------

// Reads the clip and starts its decoding; 1 when it gives sound. A file that is missing or
// too large to read gives none.
int ReadClip(Vox* vox, const char* fileName) {
  FreeClipImage(&vox->image);
  return ReadClipFile(fileName, &vox->image) == ClipFileRead &&
         StartClip(vox->image.bytes, vox->image.size, &vox->start);
}

void StopClip(Vox* vox) {
  HaltDevice(vox);
  if (vox->state != NoClip) vox->state = Ready;
  vox->playedMs = 0;
}

uint8_t __stdcall Open(Vox* vox, const char* fileName) {
  EnterCriticalSection(&vox->lock);
  StopClip(vox);
  CloseDecoder(vox);
  vox->state = NoClip;
  uint8_t opened = fileName && ReadClip(vox, fileName);
  if (opened) {
    lstrcpynA(vox->file, fileName, sizeof vox->file);
    vox->lengthMs = vox->start.samples * 1000.0 / vox->start.rate;
    vox->state = Ready;
  }
  LeaveCriticalSection(&vox->lock);
  VoxLog("Open", fileName, opened ? "ok" : "refused");
  return opened;
}

void __stdcall Play(Vox* vox) {
  EnterCriticalSection(&vox->lock);
  SettleClip(vox);
  if (vox->state == Ready) {
    vox->playedMs = 0;
    StartOnDevice(vox);
  } else if (vox->state == Held && vox->device) {
    waveOutRestart(vox->device);
  }
  if (vox->state == Ready || vox->state == Held) {
    vox->runStartMs = PerformanceMs();
    vox->state = Playing;
  }
  const char* output = vox->state != Playing ? nullptr : vox->device ? "wave" : "silent";
  LeaveCriticalSection(&vox->lock);
  VoxLog("Play", vox->file, output);
}

void __stdcall Pause(Vox* vox) {
  EnterCriticalSection(&vox->lock);
  SettleClip(vox);
  if (vox->state == Playing) {
    vox->playedMs = ClipPositionMs(vox);
    vox->state = Held;
    if (vox->device) waveOutPause(vox->device);
  }
  LeaveCriticalSection(&vox->lock);
  VoxLog("Pause", vox->file, nullptr);
}

void __stdcall Stop(Vox* vox) {
  EnterCriticalSection(&vox->lock);
  StopClip(vox);
  LeaveCriticalSection(&vox->lock);
  VoxLog("Stop", vox->file, nullptr);
}

int32_t __stdcall IsPlaying(Vox* vox) {
  EnterCriticalSection(&vox->lock);
  SettleClip(vox);
  int32_t playing = vox->state == Playing;
  LeaveCriticalSection(&vox->lock);
  VoxLog("IsPlaying", vox->file, playing ? "1" : "0");
  return playing;
}

void __stdcall Release(Vox* vox) {
  char fed[8] = "";
  if (vox->buffersFed) wsprintfA(fed, "%d", vox->buffersFed < 999999 ? vox->buffersFed : 999999);
  VoxLog("Release", vox->file, fed);
  if (vox->feeder) {
    InterlockedExchange(&vox->quitting, 1);
    SetEvent(vox->wake);
    WaitForSingleObject(vox->feeder, INFINITE);
    CloseHandle(vox->feeder);
  }
  CloseDevice(vox);
  CloseDecoder(vox);
  FreeClipImage(&vox->image);
  CloseHandle(vox->wake);
  DeleteCriticalSection(&vox->lock);
  free(vox);
}

// Slots the program never calls: they take the object only and do nothing.
int32_t __stdcall Unused(Vox* vox) {
  VoxLog("Unused", vox->file, nullptr);
  return 0;
}

void* const operationTable[14] = {
    reinterpret_cast<void*>(Open),   reinterpret_cast<void*>(Play),
    reinterpret_cast<void*>(Pause),  reinterpret_cast<void*>(Stop),
    reinterpret_cast<void*>(Unused), reinterpret_cast<void*>(Unused),
    reinterpret_cast<void*>(Unused), reinterpret_cast<void*>(Unused),
    reinterpret_cast<void*>(Unused), reinterpret_cast<void*>(Release),
    reinterpret_cast<void*>(Unused), reinterpret_cast<void*>(Unused),
    reinterpret_cast<void*>(Unused), reinterpret_cast<void*>(IsPlaying)};

// VOX_SILENT=1 keeps the clock silent even where a device exists, for timing runs.
int NoWaveOutput() {
  const char* silent = getenv("VOX_SILENT");
  return (silent && strcmp(silent, "1") == 0) || waveOutGetNumDevs() == 0;
}

}  // namespace

extern "C" __declspec(dllexport) void* __cdecl CreateVox() {
  Vox* vox = static_cast<Vox*>(calloc(1, sizeof(Vox)));
  if (!vox) return nullptr;
  vox->operations = operationTable;
  InitializeCriticalSection(&vox->lock);
  vox->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  vox->silent = NoWaveOutput();
  VoxLog("CreateVox", "", vox->silent ? "silent" : "waveOut");
  return vox;
}
