// The stand-in's log: one JSON object per line for every record served, every exchange and
// every event (pause, menu, title, caption), with the simulator clock. The same records stay
// in memory for Records(). Callers hold the state lock.
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "link/offsets.h"
#include "sim_state.h"

namespace sim {
namespace {

const double Turn = 4294967296.0;  // 2^32: one full turn of an attitude angle, and metres x 2^32

std::string Format(const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

double Degrees(const uint8_t* bytes) { return LoadAs<int32_t>(bytes) * 360.0 / Turn; }

// Headings are shown 0..360, as a compass does.
double Compass(const uint8_t* bytes) { return LoadAs<uint32_t>(bytes) * 360.0 / Turn; }

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\')
      out += '\\', out += char(c);
    else if (c == '\n')
      out += "\\n";
    else if (c < 0x20)
      out += Format("\\u%04x", c);
    else
      out += char(c);
  }
  return out + "\"";
}

std::string Hex(const uint8_t* bytes, uint32_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint32_t i = 0; i < size; i++) out += digits[bytes[i] >> 4], out += digits[bytes[i] & 15];
  return out;
}

std::string CaptionText(const uint8_t* bytes, uint32_t size) {
  return ToUtf8(
      std::string(reinterpret_cast<const char*>(bytes), strnlen((const char*)bytes, size)), 932);
}

std::string GearMeaning(int32_t gear) {
  if (gear == GearDown) return "gear down";
  if (gear == 0) return "gear up";
  return Format("gear %d", gear);
}

std::string ThrottleMeaning(uint32_t offset, const uint8_t* bytes) {
  uint32_t engine = (offset - OffsetThrottle1) / ThrottleStride + 1;
  return Format("throttle %u %.4f", engine, LoadAs<double>(bytes));
}

void Line(const std::string& fields) {
  if (!state.log) return;
  // "real": the machine's performance counter in milliseconds, the time base that other
  // processes' logs (the stand-in Vox.dll's) share.
  fputs(("{\"exchange\":" + std::to_string(state.exchanges) +
         Format(",\"clock\":%.3f,\"real\":%.3f,", ClockLocked(), PerformanceMs()) + fields + "}\n")
            .c_str(),
        state.log);
}

}  // namespace

std::string ToUtf8(const std::string& narrow, UINT codePage) {
  wchar_t wide[512];
  int count = MultiByteToWideChar(codePage, 0, narrow.data(), int(narrow.size()), wide, 512);
  if (count <= 0) return narrow.empty() ? "" : "?";
  char utf8[1536];
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, count, utf8, sizeof utf8, nullptr, nullptr);
  return std::string(utf8, length > 0 ? length : 0);
}

// What a record means to a person reading the log: the offsets the replay uses, in their units.
std::string Meaning(uint32_t offset, uint32_t size, const uint8_t* bytes) {
  auto is = [&](uint32_t field, uint32_t fieldSize) {
    return offset == field && size == fieldSize;
  };
  if (is(OffsetHeading, 4)) return Format("heading %.2f deg", Compass(bytes));
  if (is(OffsetPitch, 4)) return Format("pitch %.2f deg", Degrees(bytes));
  if (is(OffsetBank, 4)) return Format("bank %.2f deg", Degrees(bytes));
  if (is(OffsetAltitude, 8)) return Format("altitude %.1f m", LoadAs<int64_t>(bytes) / Turn);
  if (is(OffsetLatitude, 8))
    return Format("latitude %.6f deg", LoadAs<int64_t>(bytes) * 90.0 / (10001750.0 * Turn));
  if (is(OffsetLongitude, 8))
    return Format("longitude %.6f deg", LoadAs<int64_t>(bytes) * 360.0 / (Turn * Turn));
  if (is(OffsetGear, 4)) return GearMeaning(LoadAs<int32_t>(bytes));
  if (is(OffsetFlapsLever, 4)) return Format("flaps lever %d", LoadAs<int32_t>(bytes));
  if (is(OffsetFlapStep, 2)) return Format("flap step %d", LoadAs<int16_t>(bytes));
  if (is(OffsetAutopilotMaster, 4))
    return LoadAs<uint32_t>(bytes) ? "autopilot on" : "autopilot off";
  if (is(OffsetElevator, 2)) return Format("elevator %d", LoadAs<int16_t>(bytes));
  if (is(OffsetAileron, 2)) return Format("aileron %d", LoadAs<int16_t>(bytes));
  if (is(OffsetElevatorTrim, 2)) return Format("elevator trim %d", LoadAs<int16_t>(bytes));
  if (is(OffsetPause, 2)) return LoadAs<uint16_t>(bytes) ? "pause" : "resume";
  if (is(OffsetPauseIndicator, 2)) return LoadAs<uint16_t>(bytes) ? "paused" : "running";
  if (is(OffsetMenuIndicator, 1)) return bytes[0] ? "menu open" : "no menu";
  if (is(OffsetClock, 8)) return Format("clock %.3f s", LoadAs<double>(bytes));
  if (is(OffsetAirspeed, 4)) return Format("airspeed %.2f kt", LoadAs<int32_t>(bytes) / 128.0);
  if (is(OffsetCaptionTime, 2)) return Format("caption for %d s", LoadAs<int16_t>(bytes));
  if (offset == OffsetCaptionText && size <= CaptionTextSize)
    return "caption text " + CaptionText(bytes, size);
  if (is(OffsetFsuipcVersion, 4)) return Format("FSUIPC version %08X", LoadAs<uint32_t>(bytes));
  if (is(OffsetSimVersion, 4)) return Format("sim version %08X", LoadAs<uint32_t>(bytes));
  if (is(OffsetClientVersion, 2)) return Format("client version %u", LoadAs<uint16_t>(bytes));
  for (int n = 0; n < ThrottleCount; n++)
    if (is(OffsetThrottle1 + ThrottleStride * n, 8)) return ThrottleMeaning(offset, bytes);
  return "";
}

bool OpenLog(const std::string& path) {
  if (path.empty()) return true;
  state.log = fopen(path.c_str(), "w");  // shared for reading while it grows
  return state.log != nullptr;
}

void CloseLog() {
  if (state.log) fclose(state.log);
  state.log = nullptr;
}

void LogRecord(int exchange, bool write, uint32_t offset, uint32_t size, const uint8_t* bytes) {
  if (state.options.keepRecords)
    state.records.push_back({exchange, ClockLocked(), write, offset,
                             std::vector<uint8_t>(bytes, bytes + size), state.frame});
  if (!state.log) return;
  Line(Format("\"op\":\"%s\",\"offset\":\"0x%04X\",\"size\":%u,\"bytes\":",
              write ? "write" : "read", offset, size) +
       Quoted(Hex(bytes, size)) + ",\"meaning\":" + Quoted(Meaning(offset, size, bytes)));
}

void LogExchange(int records, LRESULT reply) {
  Line(Format("\"op\":\"exchange\",\"records\":%d,\"reply\":%ld,\"frame\":%d", records, long(reply),
              state.frame));
  if (state.log) fflush(state.log);
}

void LogEvent(const char* what, const std::string& text) {
  Line(std::string("\"op\":") + Quoted(what) + ",\"meaning\":" + Quoted(text));
  if (state.log) fflush(state.log);
}

void LogUnexpected(bool write, uint32_t offset, uint32_t size, const std::string& why) {
  Line(Format(
           "\"op\":\"unexpected\",\"record\":\"%s\",\"offset\":\"0x%04X\",\"size\":%u,\"meaning\":",
           write ? "write" : "read", offset, size) +
       Quoted(why));
  if (state.log) fflush(state.log);
}

}  // namespace sim
