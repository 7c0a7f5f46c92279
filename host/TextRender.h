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

struct TextRenderResult {
  bool ok = false;
  std::string family;       // the font family used
  std::string missingFont;  // the theme's font when it is not installed
  std::string warning;  // non-empty when something had to be substituted
  std::string error;    // why nothing was written
};

// Writes the layer as a width x height PNG to path.
TextRenderResult RenderTextLayer(const TextLayerStyle& style, const std::string& path);

}  // namespace reelka_host
