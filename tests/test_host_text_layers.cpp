// The user's words in the theme's text layers: assignments, the texts file,
// rendering with the themes' fonts or their substitutes, and the rendered
// text in the composed slot picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>

#include "../host/TextLayers.cpp"
#include "../host/TextRender.cpp"
#include "scriptmaker/ThemeResource.h"
#include "test_slot_util.h"

using namespace reelka_host;

namespace {

std::unique_ptr<ThemeSlotSequence> Sequence() {
  auto seq = std::make_unique<ThemeSlotSequence>();
  std::memset(seq.get(), 0, sizeof(ThemeSlotSequence));
  return seq;
}

// A slot with `texts` text layers after its two picture layers.
void AddSlot(ThemeSlotSequence& seq, int texts) {
  SlotContext& slot = seq.slots[seq.slotCount++];
  slot.layerCount = texts > 0 ? 2 + texts : 1;
  slot.layers[1].layerType = texts > 0 ? 2 : 0;
  for (int t = 0; t < texts; ++t) slot.layers[2 + t].layerType = 3;
}

TextAssignment Text(int slot, int layer, const std::string& text, const std::string& origin = "--text") {
  TextAssignment a;
  a.slot = slot;
  a.layer = layer;
  a.text = text;
  a.origin = origin;
  return a;
}

std::string LayerText(const ThemeSlotSequence& seq, int slot, int layer) {
  return Utf16ToUtf8(seq.slots[slot].layers[layer].text, REELKA_PATH_LEN);
}

// Bounding box and summed alpha of what a rendered layer shows.
struct Ink {
  cv::Rect box;
  double mass = 0;
};

Ink InkOf(const std::string& png) {
  cv::Mat picture = cv::imread(png, cv::IMREAD_UNCHANGED);
  Ink ink;
  if (picture.empty() || picture.channels() != 4) return ink;
  cv::Mat alpha;
  cv::extractChannel(picture, alpha, 3);
  ink.box = cv::boundingRect(alpha);
  ink.mass = cv::sum(alpha)[0];
  return ink;
}

TextLayerStyle Style(int width, int height, int size, const std::string& text, const std::string& font) {
  TextLayerStyle style;
  style.width = width;
  style.height = height;
  style.size = size;
  style.text = text;
  style.font = font;
  style.vertical = "middle";
  style.horizontal = "left";
  style.colour = "rgba(255, 255, 255, 100)";
  style.background = "rgba(255, 255, 255, 0)";
  return style;
}

}  // namespace

TEST(HostTexts, ParsesAssignments) {
  TextAssignment a;
  a.origin = "here";
  std::string error;
  ASSERT_TRUE(ParseTextAssignment("12:3=Rain: 100% & more = fun", a, error)) << error;
  EXPECT_EQ(12, a.slot);
  EXPECT_EQ(3, a.layer);
  EXPECT_EQ("Rain: 100% & more = fun", a.text);
  EXPECT_EQ("here", a.origin);
  ASSERT_TRUE(ParseTextAssignment("0:0=", a, error));
  EXPECT_EQ("", a.text);

  // 299 UTF-16 units fit a layer, 300 do not; a character outside the
  // basic plane takes two.
  EXPECT_TRUE(ParseTextAssignment("1:0=" + std::string(299, 'x'), a, error));
  EXPECT_FALSE(ParseTextAssignment("1:0=" + std::string(300, 'x'), a, error));
  EXPECT_NE(std::string::npos, error.find("at most 299")) << error;
  std::string emoji;
  for (int i = 0; i < 150; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_FALSE(ParseTextAssignment("1:0=" + emoji, a, error));

  for (const char* bad : {"", "1=x", "1:=x", ":1=x", "1:2", "-1:0=x", "1:-1=x", "a:0=x", "1:0x=y", "1=2:3",
                          "1234567:0=x"}) {
    a = Text(7, 7, "kept");
    EXPECT_FALSE(ParseTextAssignment(bad, a, error)) << bad;
    EXPECT_EQ("kept", a.text) << bad;
  }
  EXPECT_FALSE(ParseTextAssignment("1:0=caf\xC3", a, error));
  EXPECT_NE(std::string::npos, error.find("UTF-8")) << error;
}

TEST(HostTexts, ReadsTheTextsFile) {
  testutil::TempRun run(false);
  const std::string path = run.root + "/texts.txt";
  std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF# words for the clip\r\n"
                                           "1:1=Summer in the Garden\r\n"
                                           "\n"
                                           "   # an indented comment\n"
                                           "  2:0=  Into the Green #1\n"
                                           "1:1=caf\xC3\xA9 &#8220;later wins&#8221;";
  std::vector<TextAssignment> texts = {Text(9, 9, "before")};
  std::string error;
  ASSERT_TRUE(ReadTextsFile(path, texts, error)) << error;
  ASSERT_EQ(4u, texts.size());
  EXPECT_EQ("before", texts[0].text);
  EXPECT_EQ("Summer in the Garden", texts[1].text);
  EXPECT_EQ(path + ":2", texts[1].origin);
  EXPECT_EQ(2, texts[2].slot);
  EXPECT_EQ("  Into the Green #1", texts[2].text);
  EXPECT_EQ(path + ":5", texts[2].origin);
  EXPECT_EQ("caf\xC3\xA9 &#8220;later wins&#8221;", texts[3].text);

  // A bad line is named by its number; nothing of the file is taken then.
  std::ofstream(path, std::ios::binary) << "1:0=fine\n# note\n1-0=wrong\n";
  EXPECT_FALSE(ReadTextsFile(path, texts, error));
  EXPECT_EQ(path + ":3: expected SLOT:LAYER=TEXT with SLOT and LAYER numbers from 0", error);
  EXPECT_EQ(4u, texts.size());
  std::ofstream(path, std::ios::binary) << "1:0=fine\n1:1=\xFF\xFE\n";
  EXPECT_FALSE(ReadTextsFile(path, texts, error));
  EXPECT_NE(std::string::npos, error.find(":2: the text is not valid UTF-8")) << error;
  EXPECT_FALSE(ReadTextsFile(run.root + "/missing.txt", texts, error));
  EXPECT_NE(std::string::npos, error.find("cannot be read")) << error;
  EXPECT_EQ(4u, texts.size());
}

TEST(HostTexts, WritesWordsIntoTextLayersOrRefusesTheWholeSet) {
  auto seq = Sequence();
  AddSlot(*seq, 0);  // 0: a picture alone
  AddSlot(*seq, 3);  // 1
  AddSlot(*seq, 2);  // 2
  // A text layer already rendered is no longer counted among the slot's.
  seq->slots[2].layers[2].layerType = 4;
  slottest::SetWide(seq->slots[1].layers[2].text, REELKA_PATH_LEN, "&#8220;");
  ASSERT_EQ(3, TextLayerIndex(seq->slots[2], 0));
  ASSERT_EQ(-1, TextLayerIndex(seq->slots[2], 1));

  std::string error;
  ASSERT_TRUE(ApplyTexts(*seq, {Text(1, 1, "first"), Text(1, 2, "caf\xC3\xA9 &#8212;"), Text(1, 1, "Title"),
                                Text(2, 0, "Into the Green"), Text(1, 0, "")},
                         error))
      << error;
  EXPECT_EQ("", LayerText(*seq, 1, 2));  // cleared
  EXPECT_EQ("Title", LayerText(*seq, 1, 3));  // the later one wins
  EXPECT_EQ("caf\xC3\xA9 &#8212;", LayerText(*seq, 1, 4));
  EXPECT_EQ("Into the Green", LayerText(*seq, 2, 3));

  const std::vector<std::pair<TextAssignment, std::string>> refused = {
      {Text(3, 0, "x"), "--text 3:0: the theme context has 3 slots (0 to 2)"},
      {Text(0, 0, "x", "t.txt:4"), "t.txt:4 0:0: slot 0 has no text layers; slots with text layers: 1, 2"},
      {Text(1, 3, "x"), "--text 1:3: slot 1 has 3 text layers (0 to 2)"},
      {Text(2, 1, "x"), "--text 2:1: slot 2 has 1 text layer (0)"},
  };
  for (const auto& r : refused) {
    auto before = Sequence();
    std::memcpy(before.get(), seq.get(), sizeof(ThemeSlotSequence));
    EXPECT_FALSE(ApplyTexts(*seq, {Text(1, 1, "changed"), r.first}, error));
    EXPECT_EQ(r.second, error);
    EXPECT_EQ(0, std::memcmp(before.get(), seq.get(), sizeof(ThemeSlotSequence))) << r.second;
  }
}

TEST(HostFonts, EveryThemeFontDrawsWithItsOwnFaceOrASimilarOne) {
  std::set<std::string> names;
  for (int index : {0, 1, 2}) {
    auto theme = CreateThemeSlotInformation(index);
    ASSERT_TRUE(theme);
    const ThemeLayerTable& table = theme->GetTextLayerTable();
    for (int d = 0; d < 10; ++d) {
      for (int j = 0; j < table.counts[d]; ++j) names.insert(slottest::Narrow(table.layers[d][j].font));
    }
  }
  ASSERT_GE(names.size(), 16u);

  testutil::TempRun run(false);
  const std::string png = run.root + "/face.png";
  std::set<std::string> families;
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    const FontName want = ParseFontName(name);
    TextRenderResult r = RenderTextLayer(Style(1200, 200, 60, "Quiet hours", name), png);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ("", r.warning);
    if (r.substituted) {
      EXPECT_EQ(want.substitute, r.face.family);
    } else {
      bool own = false;
      for (const auto& f : want.families) own = own || Lower(f) == Lower(r.face.family);
      EXPECT_TRUE(own) << r.face.name;
    }
    EXPECT_NE("DejaVu Sans", r.face.family);
    EXPECT_LE(std::abs(r.face.weight - want.weight), 100) << r.face.name;
    EXPECT_EQ(want.italic, r.face.italic) << r.face.name;
    EXPECT_EQ(want.smallCaps, r.face.smallCaps) << r.face.name;
    families.insert(r.face.family);
  }
  // The themes' look: serif, script, condensed and display faces, not one sans.
  EXPECT_GE(families.size(), 10u);

  // Small capitals draw lower-case letters as capitals of about the
  // x-height: an 'h' loses its ascender.
  RenderTextLayer(Style(1200, 200, 60, "hhhh", "AlegreyaSans-Bold"), png);
  const int plain = InkOf(png).box.height;
  RenderTextLayer(Style(1200, 200, 60, "hhhh", "AlegreyaSansSC-Bold"), png);
  EXPECT_LT(InkOf(png).box.height, plain * 4 / 5);
  EXPECT_GT(InkOf(png).box.height, plain / 2);

  // A font nobody knows still gets its weight and slant from the fallback.
  TextRenderResult r = RenderTextLayer(Style(1200, 200, 60, "Quiet", "Mystery-BoldItalic"), png);
  EXPECT_TRUE(r.substituted);
  EXPECT_EQ("DejaVu Sans", r.face.family);
  EXPECT_EQ(700, r.face.weight);
  EXPECT_TRUE(r.face.italic);
}

TEST(HostRender, OverLongTextShrinksUntilItFitsAndIsNeverCut) {
  testutil::TempRun run(false);
  const std::string small = run.root + "/small.png";
  const std::string tall = run.root + "/tall.png";
  const std::string longText =
      "The quiet details of a garden, right after the rain, when every colour is a little brighter than before";
  struct Case {
    const char* font;
    std::string text;
    const char* vertical;
    const char* horizontal;
    bool shrinks;
  };
  const Case cases[] = {
      {"AlegreyaSans-Bold", longText, "middle", "left", true},
      {"AlegreyaSansSC-BoldItalic", longText, "bottom", "right", true},
      {"Tangerine_Bold", longText, "top", "center", true},
      // Scripts and accents whose ink reaches past the line's own height.
      {"Tangerine_Bold", "gjpqy", "top", "left", false},
      {"LobsterTwo-Italic", "fjord jiffy", "middle", "right", false},
      {"AlegreyaSans-Bold", "\xC3\x85\xC3\x89\xC3\x8E \xC3\x9Dg", "top", "center", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.font) + " " + c.text.substr(0, 12) + " " + c.vertical + " " + c.horizontal);
    TextLayerStyle style = Style(300, 50, 48, c.text, c.font);
    style.vertical = c.vertical;
    style.horizontal = c.horizontal;
    TextRenderResult r = RenderTextLayer(style, small);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ("", r.warning);
    EXPECT_GT(r.size, 3);
    if (c.shrinks) {
      EXPECT_LT(r.size, 48);
    }

    // The same text at that size in a taller picture shows all its ink:
    // the small picture holds all of it.
    TextLayerStyle roomy = style;
    roomy.height = 400;
    roomy.size = r.size;
    roomy.vertical = "middle";
    ASSERT_TRUE(RenderTextLayer(roomy, tall).ok);
    Ink whole = InkOf(tall);
    Ink fitted = InkOf(small);
    EXPECT_LE(whole.box.height, 50);
    EXPECT_GT(fitted.mass, 0);
    EXPECT_NEAR(whole.mass, fitted.mass, whole.mass * 0.005);
  }

  // A word longer than the rectangle is drawn smaller, not broken, while
  // it can be; text that fits keeps its size; references are decoded.
  TextRenderResult r = RenderTextLayer(Style(300, 80, 48, "Unbelievablylongword", "Oswald-Regular"), small);
  EXPECT_LT(r.size, 48);
  EXPECT_LE(InkOf(small).box.width, 300);
  r = RenderTextLayer(Style(300, 80, 48, "&#8220;Go&#8221; & go", "Oswald-Regular"), small);
  EXPECT_EQ(48, r.size);
  EXPECT_EQ("", r.warning);
}

TEST(HostRender, UserWordsShowInTheComposedSlotPicture) {
  slottest::SlotRun slotRun(5, "vid");
  const cv::Rect rect(300, 400, 600, 120);
  slotRun.theme->AddArt(slotRun.art, 1, "..");
  slotRun.theme->AddText(1, '.', "rgba(255, 255, 255, 100)", rect);
  slotRun.AddPicture("grey.png", slottest::Solid(640, 360, cv::Scalar(60, 60, 60)));
  slotRun.theme->SetTable({1}, {1}, {1}, {0});
  slotRun.Fill();
  ASSERT_EQ(1u, slotRun.slots.size());
  ThemeResource resource;

  // The host's path: the user's words into its copy of the context, each
  // text layer rendered to a picture and named in the layer.
  auto compose = [&](const std::vector<TextAssignment>& texts) {
    auto seq = Sequence();
    seq->slotCount = 1;
    seq->slots[0] = slotRun.slots[0];
    std::string error;
    EXPECT_TRUE(ApplyTexts(*seq, texts, error)) << error;
    const int index = TextLayerIndex(seq->slots[0], 0);
    EXPECT_EQ(2, index);
    LayerContext& layer = seq->slots[0].layers[index];
    const std::string png = slotRun.run.root + "/text.png";
    EXPECT_TRUE(RenderTextLayer(StyleOf(layer), png).ok);
    EXPECT_TRUE(MarkRendered(layer, png));
    EXPECT_EQ(4, layer.layerType);
    return slotRun.theme->GetSlotMat(0, seq->slots, &resource).clone();
  };
  cv::Mat bare = compose({});
  cv::Mat worded = compose({Text(0, 0, "Summer &#8220;in&#8221; the Garden")});
  ASSERT_EQ(bare.size(), worded.size());

  cv::Mat changed;
  cv::absdiff(bare, worded, changed);
  cv::cvtColor(changed, changed, cv::COLOR_BGRA2GRAY);
  EXPECT_GT(cv::countNonZero(cv::Mat(changed(rect) > 60)), rect.area() / 50);
  changed(rect).setTo(0);
  EXPECT_EQ(0, cv::countNonZero(changed));
}
