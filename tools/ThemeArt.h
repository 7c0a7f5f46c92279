// Procedural layer art of the three themes and the zoom map.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace art {

enum class Style { Sporty, Vivid, Modern };

struct TextBox {
  cv::Rect rect;
  double brightness;  // 0 dark text .. 1 light text
};

struct DesignInput {
  Style style = Style::Modern;
  std::string codes;           // one colour code per layer, bottom layer first
  std::vector<TextBox> texts;  // the design's text rectangles
  bool overlay = true;         // drawn over a photo or a playing video
  double colour1Brightness = 0.5;
  double colour2Brightness = 0.5;
  int seed = 0;                // varies the details between designs
};

constexpr int kArtWidth = 1920;
constexpr int kArtHeight = 1080;

// One 1920 x 1080 BGRA picture per layer, transparent (0, 0, 0, 0) outside
// the shapes. Layers coded 'A' or 'B' are shapes whose alpha carries the
// design; their colour is repainted when a slot is composed.
std::vector<cv::Mat> PaintDesign(const DesignInput& design);

// A smooth grey map centred on 128 whose opposite edges meet seamlessly.
cv::Mat PaintZoomMap(int size);

}  // namespace art
