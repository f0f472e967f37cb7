// The stand-in Vox.dll: a clip player with the operations table the voice thread calls.
// Open checks the Ogg Vorbis clip and measures its length without decoding it all, so that
// the voice thread's repeated Stop/Open/Play passes stay fast. The clip's clock runs on
// QueryPerformanceCounter: Play, Pause, Stop and IsPlaying follow the clip's real length in
// real time. Where a wave output device exists a feeder thread decodes while playing and
// feeds it; where none does (Wine here) the clock runs silently. Every call is logged.
#include "vox_log.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

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
  stb_vorbis* decoder;  // the opened clip, rewound at every fresh Play
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

void CloseDecoder(Vox* vox) {
  if (vox->decoder) stb_vorbis_close(vox->decoder);
  vox->decoder = nullptr;
}

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
    int frames = stb_vorbis_get_samples_short_interleaved(vox->decoder, channels, vox->samples[i],
                                                          BufferFrames * channels);
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
    if (vox->state == Playing && vox->device && vox->decoder) FeedDevice(vox);
    LeaveCriticalSection(&vox->lock);
  }
  return 0;
}

// Starts the opened clip on the device from its beginning; a failing device makes the
// player silent for good, the clock still runs.
void StartOnDevice(Vox* vox) {
  if (vox->silent) return;
  stb_vorbis_info info = stb_vorbis_get_info(vox->decoder);
  int channels = info.channels > MaxChannels ? MaxChannels : info.channels;
  if (!OpenDevice(vox, channels, int(info.sample_rate))) {
    vox->silent = 1;
    return;
  }
  if (!vox->feeder) vox->feeder = CreateThread(nullptr, 0, FeederThread, vox, 0, nullptr);
  waveOutReset(vox->device);
  stb_vorbis_seek_start(vox->decoder);
  waveOutRestart(vox->device);
  SetEvent(vox->wake);
}

void HaltDevice(Vox* vox) {
  if (vox->device) waveOutReset(vox->device);
}

// ---- Operations ---------------------------------------------------------------------------

// The first packets can lawfully decode to no samples (the start of the first overlap), so
// a clip passes when one of its first few packets gives samples.
int FirstPacketsDecode(stb_vorbis* decoder) {
  float** output = nullptr;
  int channels = 0;
  for (int packet = 0; packet < 4; ++packet)
    if (stb_vorbis_get_frame_float(decoder, &channels, &output) > 0) return 1;
  return 0;
}

// Rejects what stb_vorbis cannot read: no file, no Vorbis headers, no length, or first
// packets that do not decode.
stb_vorbis* CheckClip(const char* fileName, double* lengthMs) {
  int error = 0;
  stb_vorbis* decoder = stb_vorbis_open_filename(fileName, &error, nullptr);
  if (!decoder) return nullptr;
  stb_vorbis_info info = stb_vorbis_get_info(decoder);
  unsigned int length = stb_vorbis_stream_length_in_samples(decoder);
  if (info.sample_rate == 0 || length == 0 || stb_vorbis_seek_start(decoder) == 0 ||
      !FirstPacketsDecode(decoder)) {
    stb_vorbis_close(decoder);
    return nullptr;
  }
  *lengthMs = length * 1000.0 / info.sample_rate;
  return decoder;
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
  double lengthMs = 0;
  vox->decoder = fileName ? CheckClip(fileName, &lengthMs) : nullptr;
  if (vox->decoder) {
    lstrcpynA(vox->file, fileName, sizeof vox->file);
    vox->lengthMs = lengthMs;
    vox->state = Ready;
  }
  uint8_t opened = vox->decoder != nullptr;
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
