#include "TextRender.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace reelka_host {

namespace {

const char* const kFallbackFamilies[] = {"DejaVu Sans", "Sans"};
const int kMaxSide = 8192;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Installed font families, lower-cased, read once.
const std::set<std::string>& InstalledFamilies() {
  static const std::set<std::string> families = [] {
    std::set<std::string> names;
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoFontFamily** list = nullptr;
    int count = 0;
    pango_font_map_list_families(map, &list, &count);
    for (int i = 0; i < count; ++i) names.insert(Lower(pango_font_family_get_name(list[i])));
    g_free(list);
    return names;
  }();
  return families;
}

std::string ResolveFamily(const FontName& font) {
  const auto& installed = InstalledFamilies();
  for (const auto& family : font.families) {
    if (installed.count(Lower(family))) return family;
  }
  for (const char* family : kFallbackFamilies) {
    if (installed.count(Lower(family))) return family;
  }
  return kFallbackFamilies[1];
}

PangoWeight ToPangoWeight(int weight) {
  return static_cast<PangoWeight>(std::min(std::max(weight, 100), 1000));
}

void SetSource(cairo_t* cr, const Rgba& c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 100.0);
}

void AddWarning(TextRenderResult& result, const std::string& text) {
  if (!result.warning.empty()) result.warning += "; ";
  result.warning += text;
}

}  // namespace

TextRenderResult RenderTextLayer(const TextLayerStyle& style, const std::string& path) {
  TextRenderResult result;
  if (style.width <= 0 || style.height <= 0 || style.width > kMaxSide || style.height > kMaxSide) {
    result.error = "the layer's rectangle is " + std::to_string(style.width) + " x " +
                   std::to_string(style.height) + " pixels";
    return result;
  }

  Rgba colour;
  if (!ParseRgba(style.colour, colour)) {
    colour = Rgba{0, 0, 0, 100};
    AddWarning(result, "colour \"" + style.colour + "\" not understood, black used");
  }
  Rgba background;
  if (!ParseRgba(style.background, background)) {
    background = Rgba{0, 0, 0, 0};
    if (!style.background.empty())
      AddWarning(result, "background \"" + style.background + "\" not understood, none used");
  }
  VAlign vertical;
  if (!ParseVAlign(style.vertical, vertical) && !style.vertical.empty())
    AddWarning(result, "vertical alignment \"" + style.vertical + "\" not understood");
  HAlign horizontal;
  if (!ParseHAlign(style.horizontal, horizontal) && !style.horizontal.empty())
    AddWarning(result, "horizontal alignment \"" + style.horizontal + "\" not understood");
  int size = style.size;
  if (size <= 0) {
    size = std::max(1, style.height * 3 / 4);
    AddWarning(result, "no text size, " + std::to_string(size) + " used");
  }

  FontName font = ParseFontName(style.font);
  result.family = ResolveFamily(font);
  bool matched = false;
  for (const auto& f : font.families) matched = matched || Lower(f) == Lower(result.family);
  if (!matched) result.missingFont = style.font.empty() ? "(none)" : style.font;

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, style.width, style.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    result.error = "cannot allocate the picture";
    cairo_surface_destroy(surface);
    return result;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  SetSource(cr, background);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

  if (!style.text.empty()) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, result.family.c_str());
    pango_font_description_set_weight(desc, ToPangoWeight(font.weight));
    pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(desc, static_cast<double>(size) * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_width(layout, style.width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, horizontal == HAlign::Left     ? PANGO_ALIGN_LEFT
                                       : horizontal == HAlign::Center ? PANGO_ALIGN_CENTER
                                                                      : PANGO_ALIGN_RIGHT);

    std::string markup = EscapeMarkup(style.text);
    GError* markupError = nullptr;
    if (pango_parse_markup(markup.c_str(), -1, 0, nullptr, nullptr, nullptr, &markupError)) {
      pango_layout_set_markup(layout, markup.c_str(), -1);
    } else {
      AddWarning(result, "text shown without decoding its references");
      pango_layout_set_text(layout, style.text.c_str(), -1);
    }
    if (markupError) g_error_free(markupError);

    // Lines are placed by their logical height; only ink outside the
    // picture is lost.
    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    int top = AlignOffset(style.height, logical.height, vertical);
    if (ink.width > 0 && (top + ink.y < 0 || top + ink.y + ink.height > style.height || ink.x < 0 ||
                          ink.x + ink.width > style.width))
      AddWarning(result, "text larger than its layer, cut off");
    SetSource(cr, colour);
    cairo_move_to(cr, 0, top);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
  }

  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    result.error = std::string("cannot write the picture: ") + cairo_status_to_string(status);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace reelka_host
