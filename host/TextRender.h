// Renders one text layer of the theme context into a transparent PNG with
// Pango and Cairo.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "HostText.h"

namespace reelka_host {

struct TextLayerStyle {
  int width = 0;
  int height = 0;
  int size = 0;           // text size in pixels
  std::string text;       // may hold character references
  std::string font;       // theme font name
  std::string vertical;   // "top", "middle", "bottom"
  std::string horizontal; // "left", "center", "right"
  std::string colour;     // "rgba(r, g, b, a)", alpha 0..100
  std::string background;
};

// The face Pango drew the text with.
struct FaceInfo {
  std::string name;    // family and style, e.g. "Lato Bold Italic, small caps"
  std::string family;
  int weight = 0;      // 100..1000
  bool italic = false;
  int stretch = 4;     // PangoStretch: 4 normal, below condensed, above expanded
  bool smallCaps = false;
};

struct TextRenderResult {
  bool ok = false;
  std::string family;     // the font family asked for
  bool substituted = false;  // the theme's own font is not installed
  FaceInfo face;          // empty name when there was no text to draw
  int size = 0;           // text size drawn, below the layer's when shrunk to fit
  std::string warning;    // non-empty when something had to be substituted
  std::set<uint32_t> missing;  // characters no installed font draws
  std::string error;      // why nothing was written
  bool doesNotFit = false;  // the text needs a size under kMinTextSize
};

// Text is never drawn smaller than this to fit its layer (nor larger than
// the layer's own size).
constexpr int kMinTextSize = 8;

// Lays the layer's text out as RenderTextLayer would, without drawing:
// result.error tells when the text does not fit its rectangle at
// kMinTextSize.
TextRenderResult MeasureTextLayer(const TextLayerStyle& style);

// Writes the layer as a width x height PNG to path, through a new file
// renamed over the name. Text that does not fit the rectangle is drawn
// smaller until it does; below kMinTextSize nothing is written.
TextRenderResult RenderTextLayer(const TextLayerStyle& style, const std::string& path);

}  // namespace reelka_host
