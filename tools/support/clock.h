// The performance counter as seconds and milliseconds: one clock for every measurement of
// the tests and tools, and for the stand-ins' logs, so that their times compare.
#pragma once

double PerformanceSeconds();
double PerformanceMs();
