#pragma once

#include <cfloat>
#include <vector>

// A number a one-threshold split can route directly: finite, and not the
// system-missing value (-DBL_MAX).
inline bool IsPlainNumber(double x) { return x > -DBL_MAX && x <= DBL_MAX; }

// Index of the largest entry above start (0 when none is); ties go to the
// lower index.
inline int ArgMax(const std::vector<double>& v, double start) {
  int best = 0;
  double max = start;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] > max) {
      max = v[i];
      best = static_cast<int>(i);
    }
  }
  return best;
}
