// Exchanges per second through the link client (LinkRead + LinkProcess) and through a bare
// SendMessageTimeoutA loop, against the same in-process server stand-in, in one run.
//   link_benchmark [exchanges]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock.h"
#include "link/link.h"
#include "link/offsets.h"
#include "request_block.h"
#include "sim_server.h"

static double TimeClient(int count) {
  LinkResult result;
  double clock = 0;
  double start = PerformanceSeconds();
  for (int i = 0; i < count; i++) {
    LinkRead(OffsetClock, 8, &clock, &result);
    LinkProcess(&result);
  }
  return PerformanceSeconds() - start;
}

// The same one-read block, laid out by hand and sent as it stands.
static double TimeBare(int count) {
  uint32_t header[ReadHeaderBytes / 4] = {RecordRead, OffsetClock, 8, 0};
  double start = PerformanceSeconds();
  for (int i = 0; i < count; i++) {
    memcpy(requestBuffer, header, sizeof header);
    memset(requestBuffer + ReadHeaderBytes, 0, 8 + EndMarkBytes);  // the data and the end mark
    DWORD_PTR reply;
    SendMessageTimeoutA(serverWindow, linkMessage, mappingAtom, 0, SMTO_BLOCK, 2000, &reply);
  }
  return PerformanceSeconds() - start;
}

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 5000;
  if (!sim::Start(sim::Options())) return 1;
  LinkResult result;
  if (!LinkOpen(0, &result)) {
    printf("link: %s\n", linkResultMessages[result]);
    return 1;
  }
  // Alternate the two loops in rounds, so that a change in the machine's load falls on both.
  const int rounds = 10;
  double clientSeconds = 0, bareSeconds = 0;
  for (int round = 0; round < rounds; round++) {
    clientSeconds += TimeClient(count / rounds);
    bareSeconds += TimeBare(count / rounds);
  }
  double client = count / clientSeconds;
  double bare = count / bareSeconds;
  printf("exchanges: %d each\n", count);
  printf("link client: %.0f exchanges/s\n", client);
  printf("bare SendMessageTimeoutA: %.0f exchanges/s\n", bare);
  printf("ratio client/bare: %.3f\n", client / bare);
  LinkClose();
  sim::Stop();
  return 0;
}
