// Where the planned signal lies in a capture: the lag, in frames, at which
// their cross-correlation is largest. The whole plan takes part, both of its
// edges included: for a steady tone only its ends tell one cycle from the
// next, and the full correlation of a finite signal peaks at its true lag.
#pragma once

#include <cstddef>
#include <vector>

// The lag d in [0, maxLag] maximising sum over t of plan[t] * capture[t + d];
// 0 when either is empty.
size_t FindLag(const std::vector<double>& plan, const std::vector<double>& capture, size_t maxLag);
