// Exchanges per second through the link client (LinkRead + LinkProcess) and through a bare
// SendMessageTimeoutA loop, against the same in-process server stand-in, in one run.
//   link_benchmark [exchanges]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/link.h"
#include "link/offsets.h"
#include "sim_server.h"

static double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 5000;
  if (!sim::Start(sim::Options())) return 1;
  LinkResult result;
  if (!LinkOpen(0, &result)) {
    printf("link: %s\n", linkResultMessages[result]);
    return 1;
  }
  double clock = 0;
  double start = Seconds();
  for (int i = 0; i < count; i++) {
    LinkRead(OffsetClock, 8, &clock, &result);
    LinkProcess(&result);
  }
  double client = count / (Seconds() - start);

  // The same one-read block, laid out once by hand and sent again and again.
  uint32_t header[4] = {1, OffsetClock, 8, 0};
  memcpy(requestBuffer, header, sizeof header);
  memset(requestBuffer + 16, 0, 12);
  start = Seconds();
  for (int i = 0; i < count; i++) {
    DWORD_PTR reply;
    SendMessageTimeoutA(serverWindow, linkMessage, mappingAtom, 0, SMTO_BLOCK, 2000, &reply);
  }
  double bare = count / (Seconds() - start);
  printf("exchanges: %d each\n", count);
  printf("link client: %.0f exchanges/s\n", client);
  printf("bare SendMessageTimeoutA: %.0f exchanges/s\n", bare);
  printf("ratio client/bare: %.3f\n", client / bare);
  LinkClose();
  sim::Stop();
  return 0;
}
