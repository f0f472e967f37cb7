// The kinds of exchange along a replay's path and what a failed one leads to, as the
// simulator sees it: shared by the in-process sweep of every exchange and the end-to-end one.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_run.h"  // LoggedExchange
#include "link/offsets.h"

enum Kind {
  Handshake,     // the link box at program start; no dialog
  Placement,     // the link box from Start; the replay flies on
  GoesOn,        // unexamined: the replay flies on to its end
  EndsAtOnce,    // the thread's start: it ends without the exit writes
  EndsWithExit,  // the exit writes follow, the simulator is not paused
  ExitWrites,    // nothing follows
  KindCount,
};
const char* const kindNames[KindCount] = {
    "handshake",  "placement", "goes on", "ends at once", "ends with the exit writes",
    "exit writes"};

inline bool Has(const LoggedExchange& e, bool write, unsigned offset) {
  for (const LoggedRecord& r : e.records)
    if (r.write == write && r.offset == offset) return true;
  return false;
}

inline bool IsPlacement(const LoggedExchange& e) {
  return e.records.size() == 7 && e.records[0].write && e.records[0].offset == OffsetPause;
}

inline bool IsExitWrites(const LoggedExchange& e) {
  return e.records.size() == 2 && e.records[0].offset == OffsetCaptionText &&
         e.records[0].bytes.substr(0, 4) == "2000";
}

// The kind of the exchange numbered n, told from the exchanges of a run in the order served;
// flying is false until the first frame, so the thread's start tells from the row events.
inline Kind KindOf(const std::vector<LoggedExchange>& exchanges, int n) {
  bool flying = false, watched = false;
  for (const LoggedExchange& e : exchanges) {
    bool frame = Has(e, false, OffsetClock) && Has(e, false, OffsetPauseIndicator);  // or a poll
    bool watch = !frame && Has(e, false, OffsetPauseIndicator);
    if (e.number == n) {
      if (Has(e, false, OffsetFsuipcVersion)) return Handshake;
      if (IsPlacement(e)) return Placement;
      if (IsExitWrites(e)) return ExitWrites;
      if (flying || frame) return EndsWithExit;           // a frame, a poll or the end
      if (watch) return watched ? EndsWithExit : GoesOn;  // a poll; the first look
      if (Has(e, false, OffsetFlapStep)) return GoesOn;
      bool flapsUp = Has(e, true, OffsetFlapsLever) && e.records[0].bytes == "00000000";
      return flapsUp ? GoesOn : EndsAtOnce;  // the flaps' setting, the gear, the first clock
    }
    flying |= frame;
    watched |= watch;
  }
  return GoesOn;
}

// What was served after the exchange numbered n, the placement aside: it runs beside the
// replay thread.
inline std::vector<LoggedExchange> After(const std::vector<LoggedExchange>& exchanges, int n) {
  std::vector<LoggedExchange> after;
  bool past = false;
  for (const LoggedExchange& e : exchanges) {
    if (past && !IsPlacement(e)) after.push_back(e);
    past |= e.number == n;
  }
  return after;
}

// What follows a failed exchange of the kind: the replay flies on to 56:26 and pauses there,
// or sends only its exit writes, or nothing at all.
inline void ExpectWhatFollows(Kind kind, const std::vector<LoggedExchange>& after,
                              bool reachedTheEnd, const std::string& what) {
  if (kind == GoesOn || kind == Placement) {
    EXPECT_TRUE(reachedTheEnd) << what << ": the replay did not reach 56:26";
    bool paused = false;
    for (const LoggedExchange& e : after) paused |= Has(e, true, OffsetPause);
    EXPECT_TRUE(paused) << what << ": no pause at the end";
    EXPECT_TRUE(!after.empty() && IsExitWrites(after.back())) << what << ": no exit writes";
  } else if (kind == EndsWithExit) {
    EXPECT_TRUE(after.size() == 1 && IsExitWrites(after[0]))
        << what << ": " << after.size() << " exchanges after the failure, not the exit writes";
  } else {
    EXPECT_TRUE(after.empty()) << what << ": sent after the failure";
  }
}
