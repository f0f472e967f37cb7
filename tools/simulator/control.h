// Control of a running simulator stand-in: send the registered message ControlMessageName to
// the window of class ControlClassName with a command in wParam (and its argument in lParam).
// The reply is 1 when done (the exchange count for ControlExchanges), 0 for an unknown command.
#pragma once
#include <windows.h>

#include <cstdlib>
#include <cstring>

const char ControlMessageName[] = "SimStandIn:Control";
const char ControlClassName[] = "SimStandInControl";

enum ControlCommand : WPARAM {
  ControlPause = 1,
  ControlResume = 2,
  ControlMenuOpen = 3,
  ControlMenuClose = 4,
  ControlHang = 5,  // stop answering; the server thread sticks at the next exchange
  ControlUnhang = 6,
  ControlDestroyServer = 7,  // the "UIPCMAIN" window goes, as when FSUIPC crashes
  ControlExit = 8,
  ControlClockRate = 9,      // lParam: simulator seconds per real second x 1000
  ControlExchanges = 10,     // reply: exchanges served so far
  ControlReply = 11,         // lParam: the reply of every later exchange
  ControlSetClock = 12,      // lParam: the clock jumps there, in whole seconds, and runs on
  ControlGarbageClock = 13,  // the clock reads 6.7e297 for lParam ms, then as before
};

// The command named at the start of a line of text ("pause", "rate 30" ...), 0 if none.
inline WPARAM ControlCommandByName(const char* line, double* rate) {
  static const struct {
    const char* name;
    WPARAM command;
  } names[] = {
      {"pause", ControlPause},           {"resume", ControlResume}, {"menu", ControlMenuOpen},
      {"nomenu", ControlMenuClose},      {"hang", ControlHang},     {"unhang", ControlUnhang},
      {"destroy", ControlDestroyServer}, {"exit", ControlExit},     {"rate", ControlClockRate}};
  for (const auto& entry : names) {
    size_t length = strlen(entry.name);
    bool ends =
        line[length] == 0 || line[length] == ' ' || line[length] == '\n' || line[length] == '\r';
    if (strncmp(line, entry.name, length) != 0 || !ends) continue;
    if (entry.command == ControlClockRate) *rate = atof(line + length);
    return entry.command;
  }
  return 0;
}
