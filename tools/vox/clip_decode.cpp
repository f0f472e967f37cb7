// Voice clips through vorbisfile, over a reader bounded by the clip's image in memory.
#include "clip_decode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const long DecodeFrames = 4096;  // frames asked of the decoder at a time
const int MaxHolesInARow = 64;   // holes without sound between them before the sound ends
const size_t InitialBytes = 4096;

// ---- Bounded reader -----------------------------------------------------------------------

size_t ReadBytes(void* to, size_t size, size_t count, void* source) {
  ClipReader* reader = static_cast<ClipReader*>(source);
  if (size == 0) return 0;
  size_t items = count;
  if (items > (reader->size - reader->position) / size)
    items = (reader->size - reader->position) / size;
  memcpy(to, reader->bytes + reader->position, items * size);
  reader->position += items * size;
  return items;
}

int SeekBytes(void* source, ogg_int64_t offset, int whence) {
  ClipReader* reader = static_cast<ClipReader*>(source);
  int64_t base = whence == SEEK_SET   ? 0
                 : whence == SEEK_CUR ? int64_t(reader->position)
                 : whence == SEEK_END ? int64_t(reader->size)
                                      : -1;
  if (base < 0 || offset < -base || offset > int64_t(reader->size) - base) return -1;
  reader->position = size_t(base + offset);
  return 0;
}

long TellBytes(void* source) { return long(static_cast<ClipReader*>(source)->position); }

const ov_callbacks boundedReader = {ReadBytes, SeekBytes, nullptr, TellBytes};

// ---- Pages --------------------------------------------------------------------------------

// Whether a file begins as an Ogg Vorbis stream: the first page's first packet, after the
// 27-byte page header and its segment table, is the Vorbis identification header.
int BeginsAsVorbis(const unsigned char* bytes, size_t size) {
  if (size < 27 || memcmp(bytes, "OggS", 4) != 0) return 0;
  size_t packet = 27 + size_t(bytes[26]);
  return size >= packet + 7 && memcmp(bytes + packet, "\x01vorbis", 7) == 0;
}

// The Ogg pages of a whole image, as libogg finds them.
struct PageWalk {
  int skipped;        // 1 when bytes between pages were passed over: a page that failed its check
  size_t firstSkip;   // where the first bytes passed over began
  size_t firstSound;  // where the first page that ends sound began (the headers end there)
  int endsStream;     // 1 when the last whole page ends its logical stream
};

PageWalk WalkPages(const unsigned char* bytes, size_t size) {
  PageWalk walk = {0, 0, 0, 0};
  int soundFound = 0;
  size_t offset = 0;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, long(size));
  if (buffer) {
    memcpy(buffer, bytes, size);
    ogg_sync_wrote(&sync, long(size));
  }
  ogg_page page;
  // Each call takes a page or passes over bytes; 0 means the rest is no whole page.
  for (long got; buffer && (got = ogg_sync_pageseek(&sync, &page)) != 0;) {
    if (got < 0 && !walk.skipped) {
      walk.skipped = 1;
      walk.firstSkip = offset;
    }
    if (got > 0) walk.endsStream = ogg_page_eos(&page) != 0;
    if (got > 0 && !soundFound && ogg_page_granulepos(&page) > 0) {
      soundFound = 1;
      walk.firstSound = offset;
    }
    offset += size_t(got < 0 ? -got : got);
  }
  ogg_sync_clear(&sync);
  return walk;
}

// ---- Samples ------------------------------------------------------------------------------

short ToSample(float value) {
  if (!(value < 1.0f)) return 32767;  // NaN too
  if (!(value > -1.0f)) return -32767;
  return short(value * 32767.0f);
}

// A later logical stream must keep the first one's format: the output was set up for it.
int KeepsFormat(ClipDecoder* decoder, int link) {
  if (link == decoder->link) return 1;
  vorbis_info* info = ov_info(&decoder->file, link);
  if (!info || info->channels != decoder->channels || info->rate != decoder->rate) return 0;
  decoder->link = link;
  return 1;
}

}  // namespace

// ---- Files --------------------------------------------------------------------------------

ClipFileResult ReadClipFile(const char* path, ClipImage* image) {
  *image = ClipImage{nullptr, 0};
  FILE* file = fopen(path, "rb");
  if (!file) return ClipFileMissing;
  long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  ClipFileResult result = ClipFileMissing;
  if (size >= 0 && size_t(size) > MaxClipBytes) {
    image->size = size_t(size);
    result = ClipFileTooLarge;
  } else if (size >= 0 && fseek(file, 0, SEEK_SET) == 0) {
    image->bytes = static_cast<unsigned char*>(malloc(size_t(size) + 1));
    image->size = size_t(size);
    if (image->bytes && fread(image->bytes, 1, image->size, file) == image->size)
      result = ClipFileRead;
  }
  fclose(file);
  if (result == ClipFileMissing) FreeClipImage(image);
  return result;
}

void FreeClipImage(ClipImage* image) {
  free(image->bytes);
  image->bytes = nullptr;
}

// ---- Decoder ------------------------------------------------------------------------------

int OpenClipDecoder(ClipDecoder* decoder, const unsigned char* bytes, size_t size) {
  memset(decoder, 0, sizeof *decoder);
  if (!bytes || size == 0 || size > MaxClipBytes) return 0;
  // The first bytes go in as the decoder's initial data: libogg's page search would otherwise
  // start on a buffer not yet made (a null pointer plus 0, which UBSan rightly refuses).
  size_t initial = size < InitialBytes ? size : InitialBytes;
  decoder->reader = ClipReader{bytes, size, initial};
  // On failure vorbisfile clears what it began itself.
  char* first = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
  if (ov_open_callbacks(&decoder->reader, &decoder->file, first, long(initial), boundedReader) != 0)
    return 0;
  decoder->opened = 1;
  vorbis_info* info = ov_info(&decoder->file, 0);
  if (!info || info->channels < 1 || info->rate < MinClipRate || info->rate > MaxClipRate) {
    CloseClipDecoder(decoder);
    return 0;
  }
  decoder->channels = info->channels;
  decoder->rate = info->rate;
  return 1;
}

long DecodeClip(ClipDecoder* decoder, short* out, long frames, int outChannels) {
  if (!decoder->opened || decoder->faulted || frames <= 0) return 0;
  float** pcm = nullptr;
  int link = decoder->link;
  long got = OV_HOLE;
  for (int holes = 0; got == OV_HOLE && holes <= MaxHolesInARow; ++holes) {
    got = ov_read_float(&decoder->file, &pcm, int(frames < DecodeFrames ? frames : DecodeFrames),
                        &link);
    decoder->holes += got == OV_HOLE;
  }
  if (got == 0) return 0;
  if (got < 0 || !KeepsFormat(decoder, link)) {
    decoder->faulted = 1;
    return 0;
  }
  if (outChannels > decoder->channels) outChannels = decoder->channels;
  for (long frame = 0; out && frame < got; ++frame)
    for (int channel = 0; channel < outChannels; ++channel) *out++ = ToSample(pcm[channel][frame]);
  return got;
}

void CloseClipDecoder(ClipDecoder* decoder) {
  if (decoder->opened) ov_clear(&decoder->file);
  decoder->opened = 0;
}

// ---- Scan ---------------------------------------------------------------------------------

// Why the headers did not read: nothing at all, no Ogg Vorbis stream, a file that ends
// inside them, or damage.
static ClipScan RefusedScan(const unsigned char* bytes, size_t size) {
  ClipScan scan = {};
  if (size == 0) {
    scan.verdict = ClipEmpty;
  } else if (!BeginsAsVorbis(bytes, size)) {
    scan.verdict = ClipNotVorbis;
  } else {
    PageWalk walk = WalkPages(bytes, size);
    scan.verdict = !walk.skipped && !walk.endsStream ? ClipCut : ClipDamaged;
  }
  return scan;
}

// Where the first damage lies in the sound: by the stream's own length where the sound goes
// on after it, else by where the first damaged page lies among the pages of sound.
static int DamagePercent(int64_t beforeDamage, int64_t streamSamples, const PageWalk& walk,
                         size_t size) {
  int percent = 99;
  if (streamSamples > beforeDamage)
    percent = int(beforeDamage * 100 / streamSamples);
  else if (walk.skipped && walk.firstSkip > walk.firstSound)
    percent = int((walk.firstSkip - walk.firstSound) * 100.0 / (size - walk.firstSound));
  return percent < 99 ? percent : 99;
}

// The stream's own length, from the granule position of its last page.
static int64_t StreamSamples(ClipDecoder* decoder) {
  ogg_int64_t total = ov_pcm_total(&decoder->file, -1);
  return total > 0 ? total : 0;
}

ClipScan ScanClip(const unsigned char* bytes, size_t size) {
  ClipDecoder decoder;
  if (!OpenClipDecoder(&decoder, bytes, size)) return RefusedScan(bytes, size);
  ClipScan scan = {};
  scan.channels = decoder.channels;
  scan.rate = decoder.rate;
  scan.streamSamples = StreamSamples(&decoder);
  const int64_t most = int64_t(MaxClipSeconds) * decoder.rate;
  int64_t beforeDamage = -1;  // samples before the first hole
  for (long got = 1; got > 0 && scan.soundSamples < most;) {
    int64_t before = scan.soundSamples;
    got = DecodeClip(&decoder, nullptr, DecodeFrames, 0);
    scan.soundSamples += got;
    if (decoder.holes && beforeDamage < 0) beforeDamage = before;
  }
  int faulted = decoder.faulted || decoder.holes;
  CloseClipDecoder(&decoder);
  PageWalk walk = WalkPages(bytes, size);
  if (scan.soundSamples >= most)
    scan.verdict = ClipTooLong;
  else if (faulted || walk.skipped)
    scan.verdict = ClipDamaged;
  else if (!walk.endsStream)
    scan.verdict = ClipCut;
  else if (scan.soundSamples == 0)
    scan.verdict = ClipNoSound;
  else
    scan.verdict = ClipSound;
  if (scan.verdict == ClipDamaged)
    scan.damagePercent = DamagePercent(beforeDamage >= 0 ? beforeDamage : scan.soundSamples,
                                       scan.streamSamples, walk, size);
  return scan;
}

int StartClip(const unsigned char* bytes, size_t size, ClipStart* start) {
  *start = ClipStart{};
  ClipDecoder decoder;
  if (!OpenClipDecoder(&decoder, bytes, size)) return 0;
  long first = DecodeClip(&decoder, nullptr, DecodeFrames, 0);
  int64_t samples = StreamSamples(&decoder);
  const int64_t most = int64_t(MaxClipSeconds) * decoder.rate;
  if (first > 0) {
    start->channels = decoder.channels;
    start->rate = decoder.rate;
    start->samples = samples < first ? first : samples < most ? samples : most;
  }
  CloseClipDecoder(&decoder);
  return start->samples > 0;
}
