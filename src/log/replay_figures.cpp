// The figures of a replay, defined once: the program's log, the replay benchmark and the
// demo's report (tools/report/figures.py, the same rules in Python) count with them.
#include <algorithm>
#include <cmath>

#include "log/flight_log.h"

void CountStep(ReplayFigures* figures, int framesAdvanced) {
  if (framesAdvanced < 0) {  // a run begins: its first frame is spanned and got values
    figures->freshFrames++;
    figures->spannedFrames++;
    return;
  }
  figures->steps[framesAdvanced < 2 ? framesAdvanced : 2]++;
  figures->spannedFrames += framesAdvanced;
  if (framesAdvanced > 0) figures->freshFrames++;
}

void CountFrame(ReplayFigures* figures, int frame, double lag) {
  figures->frames++;
  if (frame <= StartFrames || !std::isfinite(lag)) return;
  double size = std::fabs(lag);
  figures->lags++;
  figures->lagSum += size;
  if (size > figures->lagWorst) figures->lagWorst = size;
}

void AddFigures(ReplayFigures* total, const ReplayFigures* part) {
  total->rows += part->rows;
  total->frames += part->frames;
  total->exchanges += part->exchanges;
  for (int i = 0; i < 3; i++) total->steps[i] += part->steps[i];
  total->freshFrames += part->freshFrames;
  total->spannedFrames += part->spannedFrames;
  total->lags += part->lags;
  total->lagSum += part->lagSum;
  if (part->lagWorst > total->lagWorst) total->lagWorst = part->lagWorst;
  total->behind = part->behind;
  total->clips += part->clips;
}

double FreshShare(const ReplayFigures* figures) {
  if (figures->spannedFrames == 0) return 0.0;
  return double(figures->freshFrames) / figures->spannedFrames;
}

double ExchangesPerFrame(const ReplayFigures* figures) {
  return figures->frames ? double(figures->exchanges) / figures->frames : 0.0;
}

double LagMeanMs(const ReplayFigures* figures) {
  return figures->lags ? 1000.0 * figures->lagSum / figures->lags : 0.0;
}

double LagWorstMs(const ReplayFigures* figures) { return 1000.0 * figures->lagWorst; }

// Where most steps span two frames, their median is two frames; the steps of one frame then
// stand apart at half of it, a quarter of the steps or more, and their median is the frame.
double FrameLength(double* steps, int count) {
  if (count <= 0) return 0.0;
  std::nth_element(steps, steps + count / 2, steps + count);
  double median = steps[count / 2];
  double* end = std::partition(steps, steps + count, [median](double step) {
    return step >= 0.4 * median && step <= 0.6 * median;
  });
  int halves = int(end - steps);
  if (4 * halves < count) return median;
  std::nth_element(steps, steps + halves / 2, end);
  return steps[halves / 2];
}

int StepFrames(double step, double frameLength) {
  if (!(step > 0.0)) return 0;
  if (!(frameLength > 0.0)) return 1;
  double frames = std::floor(step / frameLength + 0.1);
  if (frames < 1.0) return 1;
  return frames > 1e6 ? 1000000 : int(frames);
}
