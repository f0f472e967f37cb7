// What the stand-in expects of the program: the offsets it uses, each with its width and
// direction. A record outside them is logged as "unexpected" and counted, so a test that
// runs the real program can fail on it. Callers hold the state lock.
#include <string>

#include "link/offsets.h"
#include "sim_state.h"

namespace sim {
namespace {

enum Direction { Read = 1, Write = 2, Both = 3 };

struct Field {
  uint32_t offset;
  uint32_t size;
  Direction direction;
};

const Field expectedFields[] = {
    {OffsetPause, 2, Write},
    {OffsetPauseIndicator, 2, Read},
    {OffsetAirspeed, 4, Read},
    {OffsetClock, 8, Read},
    {OffsetLatitude, 8, Write},
    {OffsetLongitude, 8, Write},
    {OffsetAltitude, 8, Write},
    {OffsetPitch, 4, Write},
    {OffsetBank, 4, Write},
    {OffsetHeading, 4, Write},
    {OffsetAutopilotMaster, 4, Write},
    {OffsetElevator, 2, Write},
    {OffsetAileron, 2, Write},
    {OffsetElevatorTrim, 2, Write},
    {OffsetFlapsLever, 4, Write},
    {OffsetGear, 4, Write},
    {OffsetCaptionTime, 2, Write},
    {OffsetFsuipcVersion, 4, Read},
    {OffsetSimVersion, 4, Read},
    {OffsetClientVersion, 2, Write},
    {OffsetMenuIndicator, 1, Read},
    {OffsetCaptionText, CaptionTextSize, Write},
    {OffsetThrottle1, 8, Both},
    {OffsetThrottle1 + ThrottleStride, 8, Both},
    {OffsetThrottle1 + 2 * ThrottleStride, 8, Both},
    {OffsetThrottle1 + 3 * ThrottleStride, 8, Both},
    {OffsetFlapStep, 2, Read},
};

const Field* FieldAt(uint32_t offset) {
  for (const Field& field : expectedFields)
    if (field.offset == offset) return &field;
  return nullptr;
}

std::string HexOffset(uint32_t offset) {
  char text[16];
  snprintf(text, sizeof text, "0x%04X", offset);
  return text;
}

// A record is expected when it covers one field, or several that follow each other, whole
// and in a direction each allows. Returns "" or why not.
std::string WhyUnexpected(bool write, uint32_t offset, uint32_t size) {
  uint64_t at = offset, end = uint64_t(offset) + size;
  do {
    const Field* field = at <= 0xFFFFFFFFu ? FieldAt(uint32_t(at)) : nullptr;
    if (!field && at == offset) return "outside the offsets the program uses";
    if (!field) return "runs past the field before " + HexOffset(uint32_t(at));
    if (at + field->size > end) return "covers part of the field at " + HexOffset(field->offset);
    if (write && !(field->direction & Write))
      return "a write of the read-only " + HexOffset(field->offset);
    if (!write && !(field->direction & Read))
      return "a read of the write-only " + HexOffset(field->offset);
    at += field->size;
  } while (at < end);
  return "";
}

}  // namespace

void CheckExpected(bool write, uint32_t offset, uint32_t size) {
  std::string why = WhyUnexpected(write, offset, size);
  if (why.empty()) return;
  state.unexpected++;
  LogUnexpected(write, offset, size, why);
}

}  // namespace sim
