#include "ThemeArt.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace art {
namespace {

constexpr int W = kArtWidth;
constexpr int H = kArtHeight;

const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kInk(30, 28, 26);
const cv::Scalar kBlack(0, 0, 0);
const cv::Scalar kCharcoal(40, 36, 34);
const cv::Scalar kPaper(240, 242, 244);

enum class Role { Ground, Panel, Shadow, Accent, Detail };

struct LayerPlan {
  Role role = Role::Accent;
  cv::Scalar colour = kWhite;
  int alpha = 255;
};

// Small deterministic generator for the per-design details.
struct Lcg {
  uint32_t state;
  explicit Lcg(int seed) : state(0x9E3779B9u ^ static_cast<uint32_t>(seed * 2654435761u)) {}
  double Next() {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0;
  }
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() * (hi - lo + 1)) % (hi - lo + 1); }
};

cv::Rect Grow(const cv::Rect& r, int dx, int dy) { return cv::Rect(r.x - dx, r.y - dy, r.width + 2 * dx, r.height + 2 * dy); }

// Text rectangles that lie close together share one panel.
std::vector<cv::Rect> Clusters(const std::vector<TextBox>& texts, int gap) {
  std::vector<cv::Rect> rects;
  for (const TextBox& t : texts) rects.push_back(t.rect);
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < rects.size() && !merged; ++i) {
      for (size_t j = i + 1; j < rects.size() && !merged; ++j) {
        if ((Grow(rects[i], gap, gap) & rects[j]).area() > 0) {
          rects[i] |= rects[j];
          rects.erase(rects.begin() + static_cast<long>(j));
          merged = true;
        }
      }
    }
  }
  return rects;
}

cv::Rect Largest(const std::vector<cv::Rect>& rects) {
  cv::Rect best;
  for (const cv::Rect& r : rects)
    if (r.area() > best.area()) best = r;
  return best;
}

double CodeBrightness(char code, const DesignInput& design) {
  if (code == 'A') return design.colour1Brightness;
  if (code == 'B') return design.colour2Brightness;
  return -1.0;  // free to choose
}

bool Coded(char code) { return code == 'A' || code == 'B'; }

// Decides what each layer shows: a ground for paper-only designs, a panel
// that keeps the text readable, shadows under it, accents and details.
std::vector<LayerPlan> PlanLayers(const DesignInput& design) {
  const int n = static_cast<int>(design.codes.size());
  std::vector<LayerPlan> plan(static_cast<size_t>(n));
  double text = 1.0;
  int textArea = -1;
  for (const TextBox& t : design.texts) {
    if (t.rect.area() > textArea) textArea = t.rect.area(), text = t.brightness;
  }
  const bool lightText = text > 0.5;

  int ground = -1;
  double groundBrightness = 0.0;
  bool needPanel = true;
  if (!design.overlay && n > 0) {
    ground = 0;
    groundBrightness = CodeBrightness(design.codes[0], design);
    if (groundBrightness < 0) groundBrightness = lightText ? 0.15 : 0.95;
    needPanel = std::fabs(text - groundBrightness) < 0.3;
  }

  int panel = -1;
  if (needPanel) {
    double best = -1.0;
    for (int j = 0; j < n; ++j) {
      if (j == ground) continue;
      const double l = CodeBrightness(design.codes[static_cast<size_t>(j)], design);
      const double contrast = l < 0 ? 1.0 : std::fabs(text - l);
      // A picked colour with enough contrast beats a neutral panel.
      const double score = l < 0 ? 1.0 : contrast + (contrast >= 0.3 ? 1.0 : 0.0);
      if (score > best) best = score, panel = j;
    }
  }

  const bool darkGround = ground >= 0 && groundBrightness < 0.5;
  int others = 0;
  for (int j = 0; j < n; ++j) {
    LayerPlan& p = plan[static_cast<size_t>(j)];
    const char code = design.codes[static_cast<size_t>(j)];
    const bool coded = Coded(code);
    if (j == ground) {
      p.role = Role::Ground;
      p.colour = coded ? kWhite : (lightText ? kCharcoal : kPaper);
      p.alpha = 255;
    } else if (j == panel) {
      p.role = Role::Panel;
      p.colour = coded ? kWhite : (lightText ? kBlack : kWhite);
      p.alpha = coded ? (design.overlay ? 215 : 240) : (lightText ? 150 : 215);
    } else if (!coded && panel > j) {
      p.role = Role::Shadow;
      p.colour = design.style == Style::Modern ? (lightText ? kWhite : kInk) : kBlack;
      p.alpha = design.style == Style::Modern ? 220 : 100;
    } else {
      p.role = others++ == 0 ? Role::Accent : Role::Detail;
      const bool onLight = ground >= 0 && !darkGround;
      p.colour = coded ? kWhite : (onLight ? kInk : kWhite);
      p.alpha = coded ? 255 : 235;
    }
  }
  return plan;
}

void FillPoly(cv::Mat& mask, const std::vector<cv::Point>& points, int value) {
  std::vector<std::vector<cv::Point>> polys{points};
  cv::fillPoly(mask, polys, cv::Scalar(value), cv::LINE_AA);
}

void FillRect(cv::Mat& mask, const cv::Rect& r, int value) {
  cv::Rect clipped = r & cv::Rect(0, 0, W, H);
  if (clipped.area() > 0) mask(clipped).setTo(cv::Scalar(value));
}

void FillRoundedRect(cv::Mat& mask, const cv::Rect& r, int radius, int value) {
  radius = std::max(0, std::min(radius, std::min(r.width, r.height) / 2));
  FillRect(mask, cv::Rect(r.x + radius, r.y, r.width - 2 * radius, r.height), value);
  FillRect(mask, cv::Rect(r.x, r.y + radius, r.width, r.height - 2 * radius), value);
  const cv::Point corners[] = {{r.x + radius, r.y + radius},
                               {r.x + r.width - radius - 1, r.y + radius},
                               {r.x + radius, r.y + r.height - radius - 1},
                               {r.x + r.width - radius - 1, r.y + r.height - radius - 1}};
  for (const cv::Point& c : corners) cv::circle(mask, c, radius, cv::Scalar(value), cv::FILLED, cv::LINE_AA);
}

// ------------------------------------------------------------ SPORTY

constexpr double kSlant = 0.35;

// A parallelogram leaning right: the top edge is shifted right.
std::vector<cv::Point> Slanted(const cv::Rect& r) {
  const int s = static_cast<int>(r.height * kSlant / 2);
  return {{r.x + s, r.y}, {r.x + r.width + s, r.y}, {r.x + r.width - s, r.y + r.height}, {r.x - s, r.y + r.height}};
}

void SportyGround(cv::Mat& mask) {
  mask.setTo(cv::Scalar(255));
  for (int x = -H; x < W + H; x += 300) FillPoly(mask, Slanted(cv::Rect(x, -10, 110, H + 20)), 212);
}

cv::Rect SportyPanelRect(const cv::Rect& cluster) { return Grow(cluster, 56, 30); }

void SportyAccent(cv::Mat& mask, const cv::Rect& cluster, int value) {
  const cv::Rect p = SportyPanelRect(cluster);
  const int s = static_cast<int>(p.height * kSlant / 2);
  const bool right = p.x - s - 180 < 0;
  for (int i = 0; i < 3; ++i) {
    const int w = 26 - 6 * i;
    const int x = right ? p.x + p.width + s + 28 + i * 46 : p.x - s - 28 - (i + 1) * 46;
    FillPoly(mask, Slanted(cv::Rect(x, p.y - 24, w, p.height + 48)), value);
  }
  // A long stripe under the panel.
  const int y = std::min(p.y + p.height + 16, H - 20);
  FillPoly(mask, Slanted(cv::Rect(p.x - 90, y, p.width + 200, 12)), value);
}

void SportyDetail(cv::Mat& mask, const cv::Rect& cluster, Lcg& rng, int value) {
  const cv::Rect p = SportyPanelRect(cluster);
  const int s = static_cast<int>(p.height * kSlant / 2);
  // Speed lines leaving the panel's upper edge.
  for (int i = 0; i < 4; ++i) {
    const int len = rng.Range(90, 260);
    const int y = std::max(8, p.y - 22 - i * 14);
    const int x = p.x + s + p.width / 3 + i * 38;
    FillPoly(mask, Slanted(cv::Rect(x, y, len, 5)), value);
  }
  // A tick block on the lower left corner.
  FillPoly(mask, Slanted(cv::Rect(p.x - s + 12, std::min(p.y + p.height - 18, H - 18), 70, 10)), value);
}

// ------------------------------------------------------------- VIVID

void VividGround(cv::Mat& mask, Lcg& rng) {
  mask.setTo(cv::Scalar(255));
  for (int i = 0; i < 9; ++i) {
    const cv::Point c(rng.Range(0, W), rng.Range(0, H));
    cv::circle(mask, c, rng.Range(70, 230), cv::Scalar(226), cv::FILLED, cv::LINE_AA);
  }
}

void VividShape(cv::Mat& mask, const cv::Rect& cluster, cv::Point offset, int value) {
  cv::Rect p = Grow(cluster, 54, 40);
  p.x += offset.x;
  p.y += offset.y;
  const double aspect = static_cast<double>(p.width) / std::max(1, p.height);
  if (aspect > 0.6 && aspect < 1.7) {
    const cv::Point c(p.x + p.width / 2, p.y + p.height / 2);
    const int radius = static_cast<int>(0.5 * std::sqrt(double(p.width) * p.width + double(p.height) * p.height));
    cv::circle(mask, c, radius, cv::Scalar(value), cv::FILLED, cv::LINE_AA);
  } else {
    FillRoundedRect(mask, p, std::min(p.height / 2, 110), value);
  }
}

cv::Point PointAround(const cv::Rect& r, double angle, double grow) {
  const double cx = r.x + r.width / 2.0, cy = r.y + r.height / 2.0;
  return cv::Point(static_cast<int>(cx + std::cos(angle) * (r.width / 2.0 + grow)),
                   static_cast<int>(cy + std::sin(angle) * (r.height / 2.0 + grow)));
}

void VividAccent(cv::Mat& mask, const cv::Rect& cluster, Lcg& rng, int value) {
  const cv::Rect p = Grow(cluster, 54, 40);
  const double start = rng.Next() * 6.28318;
  for (int i = 0; i < 6; ++i) {
    const double angle = start + i * 1.05 + rng.Next() * 0.4;
    const int radius = rng.Range(16, 64);
    cv::circle(mask, PointAround(p, angle, radius + 24.0), radius, cv::Scalar(value), cv::FILLED, cv::LINE_AA);
  }
}

void VividDetail(cv::Mat& mask, const cv::Rect& cluster, Lcg& rng, int value) {
  const cv::Rect p = Grow(cluster, 54, 40);
  const double start = rng.Next() * 6.28318;
  for (int i = 0; i < 3; ++i) {
    const int radius = rng.Range(40, 96);
    cv::circle(mask, PointAround(p, start + i * 2.1, radius * 0.6), radius, cv::Scalar(value), 6, cv::LINE_AA);
  }
  for (int i = 0; i < 10; ++i) {
    cv::circle(mask, PointAround(p, start + i * 0.63, 70.0 + rng.Range(0, 60)), rng.Range(5, 11), cv::Scalar(value),
               cv::FILLED, cv::LINE_AA);
  }
}

// ------------------------------------------------------------ MODERN

cv::Rect ModernPanelRect(const cv::Rect& cluster) { return Grow(cluster, 44, 30); }

void ModernGround(cv::Mat& mask) {
  mask.setTo(cv::Scalar(255));
  cv::rectangle(mask, cv::Rect(44, 44, W - 88, H - 88), cv::Scalar(165), 3, cv::LINE_8);
}

void ModernFrame(cv::Mat& mask, const cv::Rect& cluster, int value) {
  cv::rectangle(mask, Grow(ModernPanelRect(cluster), 16, 16), cv::Scalar(value), 3, cv::LINE_8);
}

void ModernAccent(cv::Mat& mask, const cv::Rect& cluster, int value) {
  const cv::Rect p = ModernPanelRect(cluster);
  const int left = std::max(0, p.x - 140), right = std::min(W, p.x + p.width + 140);
  FillRect(mask, cv::Rect(left, p.y - 14, right - left, 4), value);
  FillRect(mask, cv::Rect(left, p.y + p.height + 10, right - left, 4), value);
  FillRect(mask, cv::Rect(p.x - 34, p.y, 14, p.height), value);
}

void ModernDetail(cv::Mat& mask, const cv::Rect& cluster, int value) {
  const cv::Rect p = Grow(ModernPanelRect(cluster), 30, 30);
  const int arm = 72, t = 3;
  const int x0 = p.x, y0 = p.y, x1 = p.x + p.width, y1 = p.y + p.height;
  FillRect(mask, cv::Rect(x0, y0, arm, t), value);
  FillRect(mask, cv::Rect(x0, y0, t, arm), value);
  FillRect(mask, cv::Rect(x1 - arm, y0, arm, t), value);
  FillRect(mask, cv::Rect(x1 - t, y0, t, arm), value);
  FillRect(mask, cv::Rect(x0, y1 - t, arm, t), value);
  FillRect(mask, cv::Rect(x0, y1 - arm, t, arm), value);
  FillRect(mask, cv::Rect(x1 - arm, y1 - t, arm, t), value);
  FillRect(mask, cv::Rect(x1 - t, y1 - arm, t, arm), value);
}

// ------------------------------------------------------------------------

void PaintRole(cv::Mat& mask, const DesignInput& design, const LayerPlan& plan, const std::vector<cv::Rect>& clusters,
               Lcg& rng) {
  const cv::Rect main = Largest(clusters);
  const int a = plan.alpha;
  switch (plan.role) {
    case Role::Ground:
      if (design.style == Style::Sporty) SportyGround(mask);
      if (design.style == Style::Vivid) VividGround(mask, rng);
      if (design.style == Style::Modern) ModernGround(mask);
      break;
    case Role::Panel:
      for (const cv::Rect& c : clusters) {
        if (design.style == Style::Sporty) FillPoly(mask, Slanted(SportyPanelRect(c)), a);
        if (design.style == Style::Vivid) VividShape(mask, c, cv::Point(0, 0), a);
        if (design.style == Style::Modern) FillRect(mask, ModernPanelRect(c), a);
      }
      break;
    case Role::Shadow:
      for (const cv::Rect& c : clusters) {
        if (design.style == Style::Sporty) {
          cv::Rect r = SportyPanelRect(c);
          r.x += 18;
          r.y += 16;
          FillPoly(mask, Slanted(r), a);
        }
        if (design.style == Style::Vivid) VividShape(mask, c, cv::Point(12, 16), a);
        if (design.style == Style::Modern) ModernFrame(mask, c, a);
      }
      break;
    case Role::Accent:
      if (design.style == Style::Sporty) SportyAccent(mask, main, a);
      if (design.style == Style::Vivid) VividAccent(mask, main, rng, a);
      if (design.style == Style::Modern) ModernAccent(mask, main, a);
      break;
    case Role::Detail:
      if (design.style == Style::Sporty) SportyDetail(mask, main, rng, a);
      if (design.style == Style::Vivid) VividDetail(mask, main, rng, a);
      if (design.style == Style::Modern) ModernDetail(mask, main, a);
      break;
  }
}

cv::Mat ToBgra(const cv::Mat& mask, const cv::Scalar& colour) {
  cv::Mat out(mask.size(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
  const cv::Vec4b solid(static_cast<uchar>(colour[0]), static_cast<uchar>(colour[1]), static_cast<uchar>(colour[2]),
                        0);
  for (int y = 0; y < mask.rows; ++y) {
    const uchar* m = mask.ptr<uchar>(y);
    cv::Vec4b* o = out.ptr<cv::Vec4b>(y);
    for (int x = 0; x < mask.cols; ++x) {
      if (!m[x]) continue;
      o[x] = solid;
      o[x][3] = m[x];
    }
  }
  return out;
}

// A ground covers the whole slot: its pattern shades the colour, as if laid
// over black, and every pixel is opaque. (A ground recoloured by a colour
// pick keeps its pattern in alpha: the pick replaces every colour.)
cv::Mat ToOpaque(const cv::Mat& mask, const cv::Scalar& colour) {
  cv::Mat out(mask.size(), CV_8UC4);
  for (int y = 0; y < mask.rows; ++y) {
    const uchar* m = mask.ptr<uchar>(y);
    cv::Vec4b* o = out.ptr<cv::Vec4b>(y);
    for (int x = 0; x < mask.cols; ++x) {
      for (int c = 0; c < 3; ++c) o[x][c] = cv::saturate_cast<uchar>(colour[c] * m[x] / 255.0);
      o[x][3] = 255;
    }
  }
  return out;
}

}  // namespace

std::vector<cv::Mat> PaintDesign(const DesignInput& design) {
  const std::vector<LayerPlan> plan = PlanLayers(design);
  std::vector<cv::Rect> clusters = Clusters(design.texts, 90);
  if (clusters.empty()) clusters.push_back(cv::Rect(W / 3, H / 3, W / 3, H / 3));
  std::vector<cv::Mat> layers;
  for (size_t j = 0; j < plan.size(); ++j) {
    Lcg rng(design.seed * 31 + static_cast<int>(j));
    cv::Mat mask(H, W, CV_8UC1, cv::Scalar(0));
    PaintRole(mask, design, plan[j], clusters, rng);
    const bool opaque = plan[j].role == Role::Ground && !Coded(design.codes[j]);
    layers.push_back(opaque ? ToOpaque(mask, plan[j].colour) : ToBgra(mask, plan[j].colour));
  }
  return layers;
}

cv::Mat PaintZoomMap(int size) {
  // Whole periods across the map make it tile in both directions.
  cv::Mat map(size, size, CV_8UC3);
  const double tau = 6.283185307179586;
  for (int y = 0; y < size; ++y) {
    cv::Vec3b* row = map.ptr<cv::Vec3b>(y);
    const double v = static_cast<double>(y) / size;
    for (int x = 0; x < size; ++x) {
      const double u = static_cast<double>(x) / size;
      const double f = 0.45 * std::sin(tau * 2 * u + 0.7) * std::cos(tau * 3 * v) +
                       0.30 * std::sin(tau * (5 * u + 2 * v)) + 0.20 * std::cos(tau * (u - 4 * v) + 1.3);
      const int value = static_cast<int>(std::lround(128.0 + 100.0 * f));
      const uchar g = static_cast<uchar>(std::clamp(value, 0, 255));
      row[x] = cv::Vec3b(g, g, g);
    }
  }
  return map;
}

}  // namespace art
