// Renders one text layer of the theme context into a transparent PNG with
// Pango and Cairo.
#pragma once

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
  std::string error;      // why nothing was written
};

// Writes the layer as a width x height PNG to path. Text that does not fit
// the rectangle is drawn smaller until it does.
TextRenderResult RenderTextLayer(const TextLayerStyle& style, const std::string& path);

}  // namespace reelka_host
