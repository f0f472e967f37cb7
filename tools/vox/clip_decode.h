// Voice clips through the Xiph reference decoder (libogg and libvorbis, by vorbisfile), read
// from an image of the clip file in memory. The stand-in Vox.dll, the data checker and the clip
// fuzzer all run this code, so whatever bytes a clip holds, the fuzzer has met them first.
// Every decode is bounded: by the image's bytes, by MaxClipSeconds of sound, and by the first
// fault the decoder cannot get past, where the sound ends. A page that failed its check (a
// hole) is passed over, as players do: the sound goes on after it.
#pragma once
#include <cstddef>
#include <cstdint>

// The decoder's stdio conveniences are not used: every clip is read through ClipReader.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

const size_t MaxClipBytes = 16 << 20;  // a larger file is refused unread
const int MaxClipSeconds = 600;        // decoding stops there
const long MinClipRate = 1000, MaxClipRate = 192000;

// A clip file read whole into memory.
struct ClipImage {
  unsigned char* bytes;  // malloc'd; null when nothing was read
  size_t size;           // bytes of the file (also when it was too large to read)
};

enum ClipFileResult { ClipFileRead, ClipFileMissing, ClipFileTooLarge };
// Reads path whole (up to MaxClipBytes). The image is freed by FreeClipImage in every case.
ClipFileResult ReadClipFile(const char* path, ClipImage* image);
void FreeClipImage(ClipImage* image);

// The decoder's view of an image: reads and seeks that never leave its bytes.
struct ClipReader {
  const unsigned char* bytes;
  size_t size;
  size_t position;
};

// One clip being decoded from its first sample.
struct ClipDecoder {
  OggVorbis_File file;
  ClipReader reader;
  int opened;    // 1 between a successful OpenClipDecoder and CloseClipDecoder
  int channels;  // of the first logical stream
  long rate;
  int link;     // the logical stream being decoded
  int holes;    // pages passed over so far
  int faulted;  // 1 once a decode met damage it cannot pass: the sound ends there
};

// 1 when the bytes begin an Ogg Vorbis stream whose headers read, with a rate between
// MinClipRate and MaxClipRate. The bytes must outlive the decoder.
int OpenClipDecoder(ClipDecoder* decoder, const unsigned char* bytes, size_t size);
// Decodes up to frames sample frames, passing over holes. With out, writes them as 16-bit
// samples of the first outChannels channels (at most the clip's), interleaved. Returns the
// frames decoded, or 0 at the end of the sound: the stream's end, or damage that cannot be
// passed (faulted set), or a change of format in a later logical stream (taken as such).
long DecodeClip(ClipDecoder* decoder, short* out, long frames, int outChannels);
void CloseClipDecoder(ClipDecoder* decoder);

// What a whole decode of a clip found, in the order the scan looks.
enum ClipVerdict {
  ClipSound,      // decodes from its first page to its end-of-stream page
  ClipEmpty,      // no bytes
  ClipNotVorbis,  // does not begin as an Ogg Vorbis stream
  ClipCut,        // sound up to where the file ends, but no end of stream: cut short
  ClipDamaged,    // a page that failed its check, or sound that breaks off
  ClipNoSound,    // headers that read, but no sample
  ClipTooLong,    // over MaxClipSeconds of sound; only that much was decoded
};

struct ClipScan {
  ClipVerdict verdict;
  int channels;
  long rate;
  int64_t soundSamples;   // samples per channel that decode
  int64_t streamSamples;  // the stream's own length from its last page, 0 when unknown
  int damagePercent;      // ClipDamaged: where in the sound the first damage lies, 0 to 99
};

// Decodes the whole clip: the data checker's look at it.
ClipScan ScanClip(const unsigned char* bytes, size_t size);
inline double ClipSeconds(const ClipScan& scan) {
  return scan.rate > 0 ? double(scan.soundSamples) / scan.rate : 0.0;
}

// A clip as a player starts it: its headers read and its first decode gives sound.
struct ClipStart {
  int channels;
  long rate;
  int64_t samples;  // its length by its last page (what plays to its end or its cut), at most
                    // MaxClipSeconds; 0 when it gives no sound
};
// Vox.dll's Open: costs the headers and one decode, not the whole clip, since the voice thread
// opens a clip again and again until its row begins. 1 when it gives sound.
int StartClip(const unsigned char* bytes, size_t size, ClipStart* start);
