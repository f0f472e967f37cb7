// The main window's picture of the aircraft: an attitude indicator and the values the replay
// drives, with the caption on show, in plain GDI so a screenshot shows what a replay does.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/offsets.h"
#include "sim_state.h"

namespace sim {
namespace {

const double Turn = 4294967296.0;
const double Pi = 3.14159265358979;
const int Margin = 16;
const int DialSize = 220;
const int LineHeight = 20;
const double PixelsPerDegree = 4;

// What one picture shows, copied out of the store under the lock.
struct Picture {
  double clock, rate, heading, pitch, bank, altitude, latitude, longitude, airspeed, throttle;
  int32_t flaps, gear;
  uint32_t autopilot;
  int16_t flapStep;
  bool paused, menu;
  std::string caption;
};

Picture TakePicture() {
  StateLock guard;
  RefreshLive();
  Picture p;
  p.clock = ClockLocked();
  p.rate = state.clockRate;
  p.heading = Load<uint32_t>(OffsetHeading) * 360.0 / Turn;
  p.pitch = Load<int32_t>(OffsetPitch) * 360.0 / Turn;
  p.bank = Load<int32_t>(OffsetBank) * 360.0 / Turn;
  p.altitude = Load<int64_t>(OffsetAltitude) / Turn;
  p.latitude = Load<int64_t>(OffsetLatitude) * 90.0 / (10001750.0 * Turn);
  p.longitude = Load<int64_t>(OffsetLongitude) * 360.0 / (Turn * Turn);
  p.airspeed = Load<int32_t>(OffsetAirspeed) / 128.0;
  p.throttle = ThrottleMean();
  p.flaps = Load<int32_t>(OffsetFlapsLever);
  p.gear = Load<int32_t>(OffsetGear);
  p.autopilot = Load<uint32_t>(OffsetAutopilotMaster);
  p.flapStep = Load<int16_t>(OffsetFlapStep);
  p.paused = state.paused;
  p.menu = state.menu;
  p.caption = state.caption;
  return p;
}

void FillBox(HDC dc, const RECT& box, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &box, brush);
  DeleteObject(brush);
}

// Sky above, ground below a horizon turned by the bank and moved by the pitch.
void DrawAttitude(HDC dc, const Picture& p) {
  RECT dial = {Margin, Margin, Margin + DialSize, Margin + DialSize};
  FillBox(dc, dial, RGB(70, 130, 210));
  int cx = Margin + DialSize / 2, cy = Margin + DialSize / 2;
  double angle = -p.bank * Pi / 180;
  double ux = std::cos(angle), uy = -std::sin(angle);  // along the horizon
  double nx = -uy, ny = ux;                            // toward the ground
  double shift = std::fmax(-DialSize, std::fmin(DialSize, p.pitch * PixelsPerDegree));
  double hx = cx + nx * shift, hy = cy + ny * shift;
  double reach = DialSize * 2;
  POINT ground[4] = {{LONG(hx - ux * reach), LONG(hy - uy * reach)},
                     {LONG(hx + ux * reach), LONG(hy + uy * reach)},
                     {LONG(hx + ux * reach + nx * reach), LONG(hy + uy * reach + ny * reach)},
                     {LONG(hx - ux * reach + nx * reach), LONG(hy - uy * reach + ny * reach)}};
  int saved = SaveDC(dc);
  IntersectClipRect(dc, dial.left, dial.top, dial.right, dial.bottom);
  HBRUSH brush = CreateSolidBrush(RGB(140, 90, 40));
  SelectObject(dc, brush);
  SelectObject(dc, GetStockObject(NULL_PEN));
  Polygon(dc, ground, 4);
  RestoreDC(dc, saved);
  DeleteObject(brush);
  RECT wingLeft = {cx - 60, cy - 2, cx - 15, cy + 2},
       wingRight = {cx + 15, cy - 2, cx + 60, cy + 2};
  RECT dot = {cx - 3, cy - 3, cx + 3, cy + 3};
  for (const RECT& part : {wingLeft, wingRight, dot}) FillBox(dc, part, RGB(255, 210, 0));
}

void DrawValues(HDC dc, const Picture& p) {
  char lines[14][96];
  int n = 0;
  snprintf(lines[n++], 96, "%s%s", p.paused ? "PAUSED" : "running", p.menu ? "   MENU OPEN" : "");
  snprintf(lines[n++], 96, "clock %.1f s (x%g)", p.clock, p.rate);
  snprintf(lines[n++], 96, "heading %.1f deg", p.heading);
  snprintf(lines[n++], 96, "pitch %.1f deg   bank %.1f deg", p.pitch, p.bank);
  snprintf(lines[n++], 96, "altitude %.0f m (%.0f ft)", p.altitude, p.altitude / 0.3048);
  snprintf(lines[n++], 96, "true airspeed %.1f kt", p.airspeed);
  snprintf(lines[n++], 96, "throttles %.3f", p.throttle);
  snprintf(lines[n++], 96, "latitude %.5f   longitude %.5f", p.latitude, p.longitude);
  snprintf(lines[n++], 96, "flaps lever %d (%.1f detents)", p.flaps,
           p.flapStep ? double(p.flaps) / p.flapStep : 0.0);
  snprintf(lines[n++], 96, "gear %s", p.gear == GearDown ? "DOWN" : p.gear == 0 ? "up" : "moving");
  snprintf(lines[n++], 96, "autopilot %s", p.autopilot ? "on" : "off");
  int x = Margin * 2 + DialSize;
  for (int i = 0; i < n; i++)
    TextOutA(dc, x, Margin + i * LineHeight, lines[i], int(strlen(lines[i])));
}

// The message window: the caption's Shift-JIS bytes drawn as the simulator would show them.
void DrawCaption(HDC dc, const RECT& client, const std::string& caption) {
  if (caption.empty()) return;
  RECT box = {Margin, Margin * 2 + DialSize + LineHeight, client.right - Margin,
              client.bottom - Margin};
  FillBox(dc, box, RGB(0, 0, 0));
  wchar_t wide[256];
  int count = MultiByteToWideChar(932, 0, caption.data(), int(caption.size()), wide, 256);
  SetTextColor(dc, RGB(255, 255, 255));
  InflateRect(&box, -8, -8);
  if (count > 0) DrawTextW(dc, wide, count, &box, DT_LEFT | DT_WORDBREAK);
}

}  // namespace

void PaintMainWindow(HWND window) {
  Picture picture = TakePicture();
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillBox(dc, client, RGB(235, 235, 235));
  SetBkMode(dc, TRANSPARENT);
  DrawAttitude(dc, picture);
  DrawValues(dc, picture);
  DrawCaption(dc, client, picture.caption);
  EndPaint(window, &paint);
}

}  // namespace sim
