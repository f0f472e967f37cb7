// Cost of one exchange through the link client in each pump mode of the stand-in server:
// immediate, and frame-bound at the given frame rates, with and without the log.
//   pump_benchmark [exchanges] [frame rate ...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clock.h"
#include "link/link.h"
#include "link/offsets.h"
#include "sim_server.h"

// Milliseconds per exchange, or a negative value when the link does not open.
static double TimeExchanges(const sim::Options& options, int count) {
  if (!sim::Start(options)) return -1;
  LinkResult result;
  if (!LinkOpen(0, &result)) return -1;
  double clock = 0;
  double start = PerformanceSeconds();
  for (int i = 0; i < count; i++) ReadNow(OffsetClock, 8, &clock);
  double took = PerformanceSeconds() - start;
  LinkClose();
  sim::Stop();
  return took * 1000 / count;
}

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 2000;
  std::vector<int> frameRates = {0};
  for (int i = 2; i < argc; i++) frameRates.push_back(atoi(argv[i]));
  if (argc <= 2) frameRates.push_back(30);
  char logPath[MAX_PATH];
  GetTempPathA(MAX_PATH, logPath);
  std::string log = std::string(logPath) + "pump_benchmark.log";
  for (int frameRate : frameRates) {
    for (bool logged : {false, true}) {
      sim::Options options;
      options.frameRate = frameRate;
      if (logged) options.logPath = log;
      int n = frameRate ? count / 20 + 1 : count;  // frame-bound exchanges are slow
      double ms = TimeExchanges(options, n);
      printf("%-22s %-8s %5d exchanges: %8.3f ms each, %7.0f per second\n",
             frameRate ? ("frame-bound " + std::to_string(frameRate) + "/s").c_str() : "immediate",
             logged ? "logged" : "no log", n, ms, 1000 / ms);
    }
  }
  DeleteFileA(log.c_str());
  return 0;
}
