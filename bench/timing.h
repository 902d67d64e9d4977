// Timing for the benchmark programs that run under Wine: the performance counter and medians.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace pivora::bench {

inline double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// Milliseconds `work` takes, by the performance counter.
template <typename Work>
double Time(Work&& work) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  work();
  QueryPerformanceCounter(&end);
  return Milliseconds(start, end);
}

inline double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times.empty() ? 0.0 : times[times.size() / 2];
}

}  // namespace pivora::bench
