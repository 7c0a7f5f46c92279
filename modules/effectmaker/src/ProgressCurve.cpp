#include "ProgressCurve.h"

#include <algorithm>
#include <cmath>

double square(int32_t i) { return std::pow(static_cast<double>(i), 2.0); }

namespace {

// Below this length the eased formula has no usable shape.
constexpr int32_t kShortestEasedCurve = 6;

std::vector<float> Ramp(int32_t n) {
  std::vector<float> curve(static_cast<size_t>(n) + 1);
  for (int32_t i = 0; i <= n; ++i) curve[static_cast<size_t>(i)] = static_cast<float>(i);
  return curve;
}

}  // namespace

std::vector<float> MakeProgressCurve(int32_t n) {
  if (n <= 0) return std::vector<float>(1, 0.0f);
  if (n < kShortestEasedCurve) return Ramp(n);

  const int32_t a = static_cast<int32_t>(static_cast<float>(n) * 0.35f);
  const int32_t b = static_cast<int32_t>(static_cast<float>(n) * 0.65f);
  const float v = static_cast<float>(a) * 0.7f;
  const int32_t c = static_cast<int32_t>(static_cast<double>(n - b) * (static_cast<double>(v) * 0.5));

  std::vector<float> curve(static_cast<size_t>(n) + 1);
  curve[0] = 0.0f;
  for (int32_t i = 1; i <= n; ++i) {
    float value;
    if (i <= a) {
      value = static_cast<float>(square(i) * static_cast<double>(0.35f));
    } else if (i <= b) {
      value = static_cast<float>(i - a) * v + curve[static_cast<size_t>(a)];
    } else {
      value = static_cast<float>(square(i - n) * 0.5 * static_cast<double>(-0.7f));
      value = value + static_cast<float>(c);
      value = value + curve[static_cast<size_t>(b)];
    }
    curve[static_cast<size_t>(i)] = value;
  }
  // A transition never runs backwards.
  for (size_t i = 1; i < curve.size(); ++i) curve[i] = std::max(curve[i], curve[i - 1]);
  return curve;
}

std::vector<float> ScaleProgressCurve(int32_t maximum, std::vector<float> curve) {
  if (curve.empty()) return curve;
  const float last = curve.back();
  if (!(last > 0.0f) || !std::isfinite(last)) {
    const size_t n = curve.size() - 1;
    for (size_t i = 0; i < curve.size(); ++i)
      curve[i] = n == 0 ? 0.0f : static_cast<float>(maximum) * static_cast<float>(i) / static_cast<float>(n);
    return curve;
  }
  const float factor = static_cast<float>(maximum) / last;
  for (float& value : curve) value = value * factor;
  return curve;
}
