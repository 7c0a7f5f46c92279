// The user's words in the theme's text layers: assignments and the texts
// file, the themes' fonts or their substitutes, text fitted to its rectangle
// and shown in the composed slot picture.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "../host/TextLayers.cpp"
#include "../host/TextRender.cpp"
#include "scriptmaker/ThemeResource.h"
#include "test_slot_util.h"

using namespace reelka_host;

namespace {

TextAssignment Text(int slot, int layer, const std::string& text) {
  TextAssignment a;
  a.slot = slot;
  a.layer = layer;
  a.text = text;
  a.origin = "--text";
  return a;
}

std::unique_ptr<ThemeSlotSequence> Sequence() {
  auto seq = std::make_unique<ThemeSlotSequence>();
  std::memset(seq.get(), 0, sizeof(ThemeSlotSequence));
  return seq;
}

// Summed alpha and the height of the ink of a rendered layer.
std::pair<double, int> InkOf(const std::string& png) {
  cv::Mat alpha;
  cv::extractChannel(cv::imread(png, cv::IMREAD_UNCHANGED), alpha, 3);
  return {cv::sum(alpha)[0], cv::boundingRect(alpha).height};
}

TextLayerStyle Style(int width, int height, int size, const std::string& text, const std::string& font,
                     const char* vertical = "middle", const char* horizontal = "left") {
  TextLayerStyle style;
  style.width = width;
  style.height = height;
  style.size = size;
  style.text = text;
  style.font = font;
  style.vertical = vertical;
  style.horizontal = horizontal;
  style.colour = "rgba(255, 255, 255, 100)";
  return style;
}

}  // namespace

TEST(HostTexts, ReadsAssignmentsAndTheTextsFile) {
  TextAssignment a;
  std::string error;
  ASSERT_TRUE(ParseTextAssignment("12:3=Rain: 100% & more = fun", a, error)) << error;
  EXPECT_EQ(12, a.slot);
  EXPECT_EQ(3, a.layer);
  EXPECT_EQ("Rain: 100% & more = fun", a.text);
  // 299 UTF-16 units fit a layer's field, 300 do not.
  EXPECT_TRUE(ParseTextAssignment("1:0=" + std::string(299, 'x'), a, error));
  for (const std::string& bad : std::vector<std::string>{"1=x", ":1=x", "1:2", "-1:0=x", "a:0=x", "1=2:3",
                                                       "1:0=caf\xC3", "1:0=" + std::string(300, 'x')}) {
    EXPECT_FALSE(ParseTextAssignment(bad, a, error)) << bad;
  }

  testutil::TempRun run(false);
  const std::string path = run.root + "/texts.txt";
  std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF# words\r\n1:1=Summer\r\n\n   # note\n  2:0=  Green #1\n";
  std::vector<TextAssignment> texts;
  ASSERT_TRUE(ReadTextsFile(path, texts, error)) << error;
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ("Summer", texts[0].text);
  EXPECT_EQ("  Green #1", texts[1].text);
  EXPECT_EQ(path + ":5", texts[1].origin);
  // A bad line is named by its number, and nothing of that file is taken.
  std::ofstream(path, std::ios::binary) << "1:0=fine\n# note\n1:1=\xFF\n";
  EXPECT_FALSE(ReadTextsFile(path, texts, error));
  EXPECT_EQ(path + ":3: the text is not valid UTF-8", error);
  EXPECT_EQ(2u, texts.size());
}

TEST(HostTexts, ATextHoldsNoControlCharacterButTabsAndLineBreaks) {
  TextAssignment a;
  std::string error;
  for (const char* fine : {"1:0=a\tb", "1:0=a\nb", "1:0=a\r\nb", "1:0=&#8220;x&#x2028;&#9;",
                           "1:0=Tom &amp; Jerry &lt;&gt;&quot;&apos;"})
    EXPECT_TRUE(ParseTextAssignment(fine, a, error)) << fine << ": " << error;
  // Each refused with the column of the character, counted in characters.
  const std::pair<std::string, std::string> refused[] = {
      {std::string("1:0=abc\0def", 11), "column 8: control character U+0000"},
      {"1:0=\xC3\xA9\x01", "column 6: control character U+0001"},
      {"1:0=a\x1B[31m", "column 6: control character U+001B"},
      {"1:0=\x0B", "column 5: control character U+000B"},
      {"1:0=\x0C", "column 5: control character U+000C"},
      {"1:0=x\x7F", "column 6: control character U+007F"},
      {"1:0=\xC2\x85", "column 5: control character U+0085"},
      {"1:0=ok &#127;", "column 8: control character U+007F"},
      {"1:0=&amp;&#0;", "column 10: control character U+0000"},
      {"1:0=&#x1F;", "column 5: control character U+001F"},
      {"1:0=&#133;", "column 5: control character U+0085"},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(ParseTextAssignment(r.first, a, error)) << r.second;
    EXPECT_EQ(0u, error.find(r.second)) << error;
  }
  // In a file, the column counts from the start of the line.
  testutil::TempRun run(false);
  const std::string path = run.root + "/texts.txt";
  std::ofstream(path, std::ios::binary) << "# c\n  1:1=abc" << '\0' << "def\n";
  std::vector<TextAssignment> texts;
  EXPECT_FALSE(ReadTextsFile(path, texts, error));
  EXPECT_EQ(0u, error.find(path + ":2: column 10: control character U+0000")) << error;
}

TEST(HostTexts, OnlyRegularFilesAreReadAndNoLineBeyondWhatALayerHolds) {
  testutil::TempRun run(false);
  const std::string fifo = run.root + "/fifo";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  const std::string endless = run.root + "/endless.txt";
  std::ofstream(endless, std::ios::binary) << "# fine\n1:0=" << std::string(3 << 20, 'a');
  const std::pair<std::string, std::string> refused[] = {
      {"/dev/zero", "/dev/zero: not a regular file"},
      {fifo, fifo + ": not a regular file"},
      {run.root, run.root + ": not a regular file"},
      {endless, endless + ":2: the line is longer than 1024 bytes, more than a text layer holds"},
  };
  std::vector<TextAssignment> texts;
  std::string error;
  for (const auto& r : refused) {
    EXPECT_FALSE(ReadTextsFile(r.first, texts, error));
    EXPECT_EQ(r.second, error);
  }
  EXPECT_TRUE(texts.empty());
  // The longest text a layer holds fits a line.
  std::string wide;
  for (int i = 0; i < 299; ++i) wide += "\xE2\x80\x94";
  std::ofstream(endless, std::ios::binary) << "    999999:999999=" << wide << "\r\n";
  EXPECT_TRUE(ReadTextsFile(endless, texts, error)) << error;
}

TEST(HostTexts, ALongFileCostsOnlyWhatItCanSet) {
  // Each layer keeps its last text in the place of its first; of the
  // assignments no theme context can hold only the first stays.
  testutil::TempRun run(false);
  const std::string path = run.root + "/long.txt";
  std::ofstream file(path, std::ios::binary);
  for (int i = 0; i < 20000; ++i) file << i % 3 << ":" << i % 2 << "=w" << i << "\n500:0=x" << i << "\n";
  file.close();
  std::vector<TextAssignment> texts{Text(0, 0, "from an earlier file")};
  std::string error;
  ASSERT_TRUE(ReadTextsFile(path, texts, error)) << error;
  ASSERT_EQ(7u, texts.size());
  EXPECT_EQ("w19998 " + path + ":39997 x0 w19997",
            texts[0].text + " " + texts[0].origin + " " + texts[1].text + " " + texts[6].text);
}

TEST(HostTexts, WritesWordsIntoTextLayersOrRefusesTheWholeSet) {
  auto seq = Sequence();
  seq->slotCount = 2;
  seq->slots[0].layerCount = 1;  // a picture alone
  seq->slots[1].layerCount = 5;  // picture, art, three text layers
  for (int l = 2; l < 5; ++l) seq->slots[1].layers[l].layerType = 3;
  std::string error;
  ASSERT_TRUE(ApplyTexts(*seq, {Text(1, 1, "first"), Text(1, 2, "&#8212;"), Text(1, 1, "Title")}, error)) << error;
  EXPECT_EQ("Title", Utf16ToUtf8(seq->slots[1].layers[3].text, REELKA_PATH_LEN));  // the later one wins
  EXPECT_EQ("&#8212;", Utf16ToUtf8(seq->slots[1].layers[4].text, REELKA_PATH_LEN));

  const std::pair<TextAssignment, std::string> refused[] = {
      {Text(2, 0, "x"), "--text 2:0: the theme context has 2 slots (0 to 1)"},
      {Text(0, 0, "x"), "--text 0:0: slot 0 has no text layers; slots with text layers: 1"},
      {Text(1, 3, "x"), "--text 1:3: slot 1 has 3 text layers (0 to 2)"},
  };
  for (const auto& r : refused) {
    auto before = Sequence();
    std::memcpy(before.get(), seq.get(), sizeof(ThemeSlotSequence));
    EXPECT_FALSE(ApplyTexts(*seq, {Text(1, 0, "changed"), r.first}, error));
    EXPECT_EQ(r.second, error);
    EXPECT_EQ(0, std::memcmp(before.get(), seq.get(), sizeof(ThemeSlotSequence))) << r.second;
  }
}

TEST(HostFonts, EveryThemeFontDrawsWithItsOwnFaceOrASimilarOne) {
  std::set<std::string> names;
  for (int index : {0, 1, 2}) {
    auto theme = CreateThemeSlotInformation(index);
    const ThemeLayerTable& table = theme->GetTextLayerTable();
    for (int d = 0; d < 10; ++d)
      for (int j = 0; j < table.counts[d]; ++j) names.insert(slottest::Narrow(table.layers[d][j].font));
  }
  ASSERT_GE(names.size(), 16u);

  testutil::TempRun run(false);
  const std::string png = run.root + "/face.png";
  std::set<std::string> families;
  for (const auto& name : names) {
    const FontName want = ParseFontName(name);
    TextRenderResult r = RenderTextLayer(Style(1200, 200, 60, "Quiet hours", name), png);
    ASSERT_TRUE(r.ok) << r.error;
    bool own = false;
    for (const auto& f : want.families) own = own || Lower(f) == Lower(r.face.family);
    EXPECT_EQ(r.substituted ? want.substitute : r.face.family, r.face.family) << name;
    EXPECT_TRUE(r.substituted || own) << name << ": " << r.face.name;
    EXPECT_LE(std::abs(r.face.weight - want.weight), 100) << name << ": " << r.face.name;
    EXPECT_EQ(want.italic, r.face.italic) << name << ": " << r.face.name;
    EXPECT_EQ(want.smallCaps, r.face.smallCaps) << name << ": " << r.face.name;
    families.insert(r.face.family);
  }
  // Serif, script, condensed and display faces, not one sans for all.
  EXPECT_GE(families.size(), 10u);
  EXPECT_EQ(0u, families.count("DejaVu Sans"));

  // Small capitals draw an 'h' as a capital of about the x-height.
  RenderTextLayer(Style(1200, 200, 60, "hhhh", "AlegreyaSans-Bold"), png);
  const int plain = InkOf(png).second;
  RenderTextLayer(Style(1200, 200, 60, "hhhh", "AlegreyaSansSC-Bold"), png);
  EXPECT_LT(InkOf(png).second, plain * 4 / 5);
  EXPECT_GT(InkOf(png).second, plain / 2);

  // A font nobody knows keeps its weight and slant in the fallback.
  TextRenderResult r = RenderTextLayer(Style(1200, 200, 60, "Quiet", "Mystery-BoldItalic"), png);
  EXPECT_EQ("DejaVu Sans", r.face.family);
  EXPECT_EQ(700, r.face.weight);
  EXPECT_TRUE(r.face.italic);
}

TEST(HostRender, OverLongTextShrinksUntilItFitsAndIsNeverCut) {
  testutil::TempRun run(false);
  const std::string fitted = run.root + "/fitted.png";
  const std::string roomy = run.root + "/roomy.png";
  const std::string longText = "The quiet details of a garden, right after the rain, when every colour is brighter";
  const TextLayerStyle cases[] = {
      Style(300, 50, 48, longText, "AlegreyaSans-Bold"),
      Style(300, 50, 48, longText, "AlegreyaSansSC-BoldItalic", "bottom", "right"),
      // Ink reaching past the line's own height: script descenders, accents.
      Style(300, 50, 48, "gjpqy fjord", "Tangerine_Bold", "top", "center"),
      Style(300, 50, 48, "\xC3\x85\xC3\x89\xC3\x8E \xC3\x9Dg", "AlegreyaSans-Bold", "top"),
  };
  for (const TextLayerStyle& style : cases) {
    SCOPED_TRACE(style.font + " " + style.text.substr(0, 10));
    TextRenderResult r = RenderTextLayer(style, fitted);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ("", r.warning);
    EXPECT_GT(r.size, 3);
    if (style.text == longText) {
      EXPECT_LT(r.size, 48);
    }
    // At that size a taller picture shows all the ink, and so does the
    // fitted one.
    TextLayerStyle tall = style;
    tall.height = 400;
    tall.size = r.size;
    ASSERT_TRUE(RenderTextLayer(tall, roomy).ok);
    const auto whole = InkOf(roomy);
    EXPECT_LE(whole.second, 50);
    EXPECT_NEAR(whole.first, InkOf(fitted).first, whole.first * 0.005);
  }
  // Text that fits keeps its size, references decoded.
  TextRenderResult r = RenderTextLayer(Style(300, 80, 48, "&#8220;Go&#8221; & go", "Oswald-Regular"), fitted);
  EXPECT_EQ(48, r.size);
  EXPECT_EQ("", r.warning);
}

TEST(HostRender, TextUnderEightPixelsIsRefusedAndMissingCharactersNamed) {
  testutil::TempRun run(false);
  const std::string word(299, 'x');
  // A long word is broken between its letters rather than drawn tiny.
  TextRenderResult fits = MeasureTextLayer(Style(867, 104, 80, word, "AlegreyaSans-Bold"));
  EXPECT_FALSE(fits.doesNotFit) << fits.error;
  EXPECT_GE(fits.size, kMinTextSize);
  TextRenderResult tiny = MeasureTextLayer(Style(60, 20, 18, word, "AlegreyaSans-Bold"));
  EXPECT_TRUE(tiny.doesNotFit);
  EXPECT_EQ("the text does not fit its layer of 60 x 20 pixels at 8 px; shorten it", tiny.error);
  const std::string path = run.root + "/tiny.png";
  EXPECT_FALSE(RenderTextLayer(Style(60, 20, 18, word, "AlegreyaSans-Bold"), path).ok);
  EXPECT_FALSE(platform::PathExists(path));
  // CJK, Hangul and colour emoji have fonts; Egyptian hieroglyphs do not.
  TextRenderResult drawn = RenderTextLayer(Style(600, 80, 40, "\xE4\xB8\xAD \xED\x95\x9C \xF0\x9F\x98\x80 "
                                                               "\xF0\x93\x80\x80",
                                                  "AlegreyaSans-Bold"),
                                            path);
  ASSERT_TRUE(drawn.ok) << drawn.error;
  EXPECT_EQ(std::set<uint32_t>{0x13000}, drawn.missing);
}

TEST(HostRender, APictureIsNeverWrittenThroughALinkAtItsName) {
  testutil::TempRun run(false);
  const std::string victim = run.root + "/victim.txt";
  std::ofstream(victim) << "someone else's";
  const std::string path = run.root + "/reelka_text_01_01.png";
  for (const std::string& link : {path, path + "~tmp"}) ASSERT_EQ(0, ::symlink(victim.c_str(), link.c_str()));
  ASSERT_TRUE(RenderTextLayer(Style(100, 40, 20, "Hi", "AlegreyaSans-Bold"), path).ok);
  std::string kept;
  std::getline(std::ifstream(victim), kept);
  EXPECT_EQ("someone else's", kept);
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(100, cv::imread(path, cv::IMREAD_UNCHANGED).cols);
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

  // The host's path: words into its copy of the context, each text layer
  // rendered to a picture that the layer then names.
  auto compose = [&](const std::vector<TextAssignment>& texts) {
    auto seq = Sequence();
    seq->slotCount = 1;
    seq->slots[0] = slotRun.slots[0];
    std::string error;
    EXPECT_TRUE(ApplyTexts(*seq, texts, error)) << error;
    LayerContext& layer = seq->slots[0].layers[TextLayerIndex(seq->slots[0], 0)];
    const std::string png = slotRun.run.root + "/text.png";
    EXPECT_TRUE(RenderTextLayer(StyleOf(layer), png).ok);
    EXPECT_TRUE(MarkRendered(layer, png));
    EXPECT_EQ(4, layer.layerType);  // scaled to its rectangle, whatever the picture's size
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
