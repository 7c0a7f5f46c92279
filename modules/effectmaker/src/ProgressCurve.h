// Eased progress curve of a transition: n + 1 values for n frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

double square(int32_t i);

// Ease-in, constant speed, ease-out; raw units. Always n + 1 values starting
// at 0 and never decreasing (a single 0 for n <= 0).
std::vector<float> MakeProgressCurve(int32_t n);

// Multiplies every value so that the last one equals maximum (within one
// float step). A curve whose last value is 0 or not finite becomes a straight
// ramp from 0 to maximum.
std::vector<float> ScaleProgressCurve(int32_t maximum, std::vector<float> curve);

// Value sent for frame k of a change of transitionLength frames: curve[k]
// while k < transitionLength, endValue after that.
inline float ProgressAt(const std::vector<float>& curve, int32_t k, int32_t transitionLength, float endValue) {
  return (k >= 0 && k < transitionLength && static_cast<size_t>(k) < curve.size()) ? curve[static_cast<size_t>(k)]
                                                                                  : endValue;
}
