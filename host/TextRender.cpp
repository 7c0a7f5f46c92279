#include "TextRender.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace reelka_host {

namespace {

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

PangoWeight ToPangoWeight(int weight) {
  return static_cast<PangoWeight>(std::min(std::max(weight, 100), 1000));
}

PangoStretch ToPangoStretch(int width) {
  if (width <= 56) return PANGO_STRETCH_ULTRA_CONDENSED;
  if (width <= 68) return PANGO_STRETCH_EXTRA_CONDENSED;
  if (width <= 81) return PANGO_STRETCH_CONDENSED;
  if (width <= 93) return PANGO_STRETCH_SEMI_CONDENSED;
  if (width <= 106) return PANGO_STRETCH_NORMAL;
  if (width <= 118) return PANGO_STRETCH_SEMI_EXPANDED;
  if (width <= 137) return PANGO_STRETCH_EXPANDED;
  if (width <= 175) return PANGO_STRETCH_EXTRA_EXPANDED;
  return PANGO_STRETCH_ULTRA_EXPANDED;
}

void SetSource(cairo_t* cr, const Rgba& c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 100.0);
}

void AddWarning(TextRenderResult& result, const std::string& text) {
  if (!result.warning.empty()) result.warning += "; ";
  result.warning += text;
}

void SetFont(PangoLayout* layout, const std::string& family, const FontName& font, int size) {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_weight(desc, ToPangoWeight(font.weight));
  pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_stretch(desc, ToPangoStretch(font.width));
  pango_font_description_set_variant(desc, font.smallCaps ? PANGO_VARIANT_SMALL_CAPS : PANGO_VARIANT_NORMAL);
  pango_font_description_set_absolute_size(desc, static_cast<double>(size) * PANGO_SCALE);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
}

std::string FaceName(const FaceInfo& face) {
  static const struct {
    int weight;
    const char* word;
  } kWeights[] = {{100, " Thin"},  {200, " ExtraLight"}, {300, " Light"},     {350, " SemiLight"},
                  {380, " Book"},  {400, ""},            {500, " Medium"},    {600, " SemiBold"},
                  {700, " Bold"},  {800, " ExtraBold"},  {900, " Black"},     {1000, " ExtraBlack"}};
  static const char* const kStretch[] = {" UltraCondensed", " ExtraCondensed", " Condensed",
                                         " SemiCondensed",  "",                " SemiExpanded",
                                         " Expanded",       " ExtraExpanded",  " UltraExpanded"};
  std::string name = face.family;
  const char* word = "";
  int best = 10000;
  for (const auto& w : kWeights) {
    if (std::abs(w.weight - face.weight) < best) {
      best = std::abs(w.weight - face.weight);
      word = w.word;
    }
  }
  name += word;
  if (face.italic) name += " Italic";
  if (face.stretch >= 0 && face.stretch <= 8) name += kStretch[face.stretch];
  if (face.smallCaps) name += ", small caps";
  return name;
}

// The face of the layout's first run.
FaceInfo DescribeFace(PangoLayout* layout) {
  FaceInfo face;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (!run || !run->item || !run->item->analysis.font) continue;
    PangoFontDescription* desc = pango_font_describe(run->item->analysis.font);
    pango_font_description_unset_fields(desc, PANGO_FONT_MASK_SIZE);
    const char* family = pango_font_description_get_family(desc);
    face.family = family ? family : "";
    face.weight = pango_font_description_get_weight(desc);
    face.italic = pango_font_description_get_style(desc) != PANGO_STYLE_NORMAL;
    face.stretch = pango_font_description_get_stretch(desc);
    face.smallCaps = pango_font_description_get_variant(desc) != PANGO_VARIANT_NORMAL;
    face.name = FaceName(face);
    pango_font_description_free(desc);
    break;
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
  return face;
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
  result.size = size;

  FontName font = ParseFontName(style.font);
  result.family = ChooseFamily(font, InstalledFamilies(), result.substituted);

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
    pango_layout_set_width(layout, style.width * PANGO_SCALE);
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

    // Text is shrunk until its ink fits the rectangle, never cut. Lines
    // break between words; only a word too long for the rectangle even at
    // the smallest size is broken between its letters.
    PangoRectangle ink;
    PangoRectangle logical;
    auto fits = [&](int s) {
      SetFont(layout, result.family, font, s);
      pango_layout_get_pixel_extents(layout, &ink, &logical);
      return ink.width <= style.width && ink.height <= style.height;
    };
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    int fitting = LargestFittingSize(size, fits);
    if (fitting == 0) {
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      fitting = LargestFittingSize(size, fits);
    }
    if (fitting == 0) {
      fitting = 1;
      AddWarning(result, "text larger than its layer even at 1 pixel, cut off");
    }
    result.size = fitting;
    SetFont(layout, result.family, font, fitting);
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    result.face = DescribeFace(layout);

    // Lines are placed by their logical height, then moved as little as
    // keeps their ink inside the picture.
    int top = KeepInkInside(AlignOffset(style.height, logical.height, vertical), ink.y, ink.height, style.height);
    int left = KeepInkInside(0, ink.x, ink.width, style.width);
    SetSource(cr, colour);
    cairo_move_to(cr, left, top);
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
