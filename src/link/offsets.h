// The FSUIPC offsets that the program reads and writes, and the fixed values it sends or
// expects there. No other file writes an offset as a bare number.
#pragma once
#include <cstdint>

// Simulator state
const uint32_t OffsetPause = 0x0262;           // W 2: 1 pauses the simulator
const uint32_t OffsetPauseIndicator = 0x0264;  // R 2: non-zero while paused
const uint32_t OffsetAirspeed = 0x02B8;        // R 4: true airspeed, knots x 128
const uint32_t OffsetClock = 0x0310;           // R 8: clock in seconds, double
const uint32_t OffsetMenuIndicator = 0x3365;   // R 1: non-zero while a menu or dialog shows

// Position and attitude
const uint32_t OffsetLatitude = 0x0560;   // W 8
const uint32_t OffsetLongitude = 0x0568;  // W 8
const uint32_t OffsetAltitude = 0x0570;   // W 8: metres x 2^32
const uint32_t OffsetPitch = 0x0578;      // W 4: 2^32 per turn
const uint32_t OffsetBank = 0x057C;       // W 4
const uint32_t OffsetHeading = 0x0580;    // W 4

// Controls
const uint32_t OffsetAutopilotMaster = 0x07BC;  // W 4: 0 switches it off
const uint32_t OffsetElevator = 0x0BB2;         // W 2
const uint32_t OffsetAileron = 0x0BB6;          // W 2
const uint32_t OffsetElevatorTrim = 0x0BC0;     // W 2: 0 is neutral
const uint32_t OffsetFlapsLever = 0x0BDC;       // W 4: 0 up, n detents = n x step
const uint32_t OffsetGear = 0x0BE8;             // W 4: 0 up, GearDown down
const uint32_t OffsetFlapStep = 0x3BFA;         // R 2: lever units per detent, signed
const uint32_t OffsetThrottle1 = 0x38A8;        // R/W 8: double, engine 1
const uint32_t ThrottleStride = 0xC0;           // engine n at OffsetThrottle1 + stride x (n - 1)
const int ThrottleCount = 4;

// Message window
const uint32_t OffsetCaptionTime = 0x32FA;  // W 2: seconds to show the caption text
const uint32_t OffsetCaptionText = 0x3380;  // W 128: zero-terminated text
const uint32_t CaptionTextSize = 128;

// Link handshake
const uint32_t OffsetFsuipcVersion = 0x3304;  // R 4
const uint32_t OffsetSimVersion = 0x3308;     // R 4: high word SimVersionTag, low word 7 or 8
const uint32_t OffsetClientVersion = 0x330A;  // W 2
const uint16_t clientVersion = 1004;
const uint32_t MinFsuipcVersion = 0x19980005;
const uint32_t SimVersionTag = 0xFADE;
const uint32_t SimVersionFs2004 = 7;
const uint32_t SimVersionFsx = 8;

// Fixed values
const int32_t GearDown = 16383;
const int32_t FlapsLeverMax = 16383;
