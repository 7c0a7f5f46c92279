#include "TextRender.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/Platform.h"

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

// The layer's colours, alignment and text size, with a warning for each
// value not understood.
struct LayerLook {
  Rgba colour;
  Rgba background;
  VAlign vertical = VAlign::Middle;
  HAlign horizontal = HAlign::Left;
  int size = 0;
};

LayerLook ReadLook(const TextLayerStyle& style, TextRenderResult& result) {
  LayerLook look;
  if (!ParseRgba(style.colour, look.colour)) {
    look.colour = Rgba{0, 0, 0, 100};
    AddWarning(result, "colour \"" + style.colour + "\" not understood, black used");
  }
  if (!ParseRgba(style.background, look.background)) {
    look.background = Rgba{0, 0, 0, 0};
    if (!style.background.empty())
      AddWarning(result, "background \"" + style.background + "\" not understood, none used");
  }
  if (!ParseVAlign(style.vertical, look.vertical) && !style.vertical.empty())
    AddWarning(result, "vertical alignment \"" + style.vertical + "\" not understood");
  if (!ParseHAlign(style.horizontal, look.horizontal) && !style.horizontal.empty())
    AddWarning(result, "horizontal alignment \"" + style.horizontal + "\" not understood");
  look.size = style.size;
  if (look.size <= 0) {
    look.size = std::max(1, style.height * 3 / 4);
    AddWarning(result, "no text size, " + std::to_string(look.size) + " used");
  }
  return look;
}

// A layout of the layer's text, its references decoded.
PangoLayout* MakeLayout(cairo_t* cr, const TextLayerStyle& style, HAlign horizontal, TextRenderResult& result) {
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
  return layout;
}

// Shrinks the text until its ink fits the rectangle, never below
// kMinTextSize (nor the layer's own size, if smaller); leaves the layout
// at the size found. Lines break between words; only a word too long for
// the rectangle even at the smallest size is broken between its letters.
// 0 when the text does not fit at the smallest size.
int FitLayout(PangoLayout* layout, const TextLayerStyle& style, const std::string& family, const FontName& font,
              int size) {
  auto fits = [&](int s) {
    SetFont(layout, family, font, s);
    PangoRectangle ink;
    pango_layout_get_pixel_extents(layout, &ink, nullptr);
    return ink.width <= style.width && ink.height <= style.height;
  };
  const int smallest = std::min(kMinTextSize, size);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
  int fitting = LargestFittingSize(size, fits);
  if (fitting < smallest) {
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    fitting = LargestFittingSize(size, fits);
  }
  if (fitting < smallest) return 0;
  SetFont(layout, family, font, fitting);
  return fitting;
}

// Characters of the layout that no installed font draws.
std::set<uint32_t> MissingCharacters(PangoLayout* layout) {
  std::set<uint32_t> missing;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (!run || !run->glyphs) continue;
    for (int g = 0; g < run->glyphs->num_glyphs; ++g) {
      const PangoGlyph glyph = run->glyphs->glyphs[g].glyph;
      if (glyph & PANGO_GLYPH_UNKNOWN_FLAG) missing.insert(glyph & ~PANGO_GLYPH_UNKNOWN_FLAG);
    }
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
  return missing;
}

// Lines are placed by their logical height, then moved as little as keeps
// their ink inside the picture.
void DrawLayout(cairo_t* cr, PangoLayout* layout, const TextLayerStyle& style, const LayerLook& look) {
  PangoRectangle ink;
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  int top = KeepInkInside(AlignOffset(style.height, logical.height, look.vertical), ink.y, ink.height, style.height);
  int left = KeepInkInside(0, ink.x, ink.width, style.width);
  SetSource(cr, look.colour);
  cairo_move_to(cr, left, top);
  pango_cairo_show_layout(cr, layout);
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The picture goes through a new file renamed over path: a link planted at
// the name is replaced, never written through.
std::string WritePicture(cairo_surface_t* surface, const std::string& path) {
  std::string png;
  cairo_status_t status = cairo_surface_write_to_png_stream(surface, AppendBytes, &png);
  if (status != CAIRO_STATUS_SUCCESS) return std::string("cannot write the picture: ") + cairo_status_to_string(status);
  if (!platform::WriteNewFile(path, png.data(), png.size()))
    return "cannot write the picture: " + std::string(std::strerror(errno));
  return std::string();
}

// Lays the text out at the size that fits: the layout, or null with
// result.error set when it fits at no size allowed.
PangoLayout* LayOut(cairo_t* cr, const TextLayerStyle& style, const LayerLook& look, TextRenderResult& result) {
  FontName font = ParseFontName(style.font);
  result.family = ChooseFamily(font, InstalledFamilies(), result.substituted);
  PangoLayout* layout = MakeLayout(cr, style, look.horizontal, result);
  result.size = FitLayout(layout, style, result.family, font, look.size);
  if (result.size == 0) {
    result.doesNotFit = true;
    result.error = "the text does not fit its layer of " + std::to_string(style.width) + " x " +
                   std::to_string(style.height) + " pixels at " + std::to_string(std::min(kMinTextSize, look.size)) +
                   " px; shorten it";
    g_object_unref(layout);
    return nullptr;
  }
  result.face = DescribeFace(layout);
  result.missing = MissingCharacters(layout);
  return layout;
}

// Draws the layer into a new surface; null with result.error on failure.
cairo_surface_t* DrawLayer(const TextLayerStyle& style, TextRenderResult& result) {
  LayerLook look = ReadLook(style, result);
  result.size = look.size;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, style.width, style.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    result.error = "cannot allocate the picture";
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  SetSource(cr, look.background);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  PangoLayout* layout = style.text.empty() ? nullptr : LayOut(cr, style, look, result);
  if (layout) {
    DrawLayout(cr, layout, style, look);
    g_object_unref(layout);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (result.error.empty()) return surface;
  cairo_surface_destroy(surface);
  return nullptr;
}

bool CheckRectangle(const TextLayerStyle& style, TextRenderResult& result) {
  if (style.width > 0 && style.height > 0 && style.width <= kMaxSide && style.height <= kMaxSide) return true;
  result.error = "the layer's rectangle is " + std::to_string(style.width) + " x " + std::to_string(style.height) +
                 " pixels";
  return false;
}

}  // namespace

TextRenderResult MeasureTextLayer(const TextLayerStyle& style) {
  TextRenderResult result;
  if (!CheckRectangle(style, result) || style.text.empty()) return result;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(surface);
  TextRenderResult scratch;
  LayerLook look = ReadLook(style, scratch);
  PangoLayout* layout = LayOut(cr, style, look, result);
  if (layout) g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return result;
}

TextRenderResult RenderTextLayer(const TextLayerStyle& style, const std::string& path) {
  TextRenderResult result;
  if (!CheckRectangle(style, result)) return result;
  cairo_surface_t* surface = DrawLayer(style, result);
  if (!surface) return result;
  result.error = WritePicture(surface, path);
  cairo_surface_destroy(surface);
  result.ok = result.error.empty();
  return result;
}

}  // namespace reelka_host
