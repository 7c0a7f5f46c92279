// Text helpers of the host program.
#include <gtest/gtest.h>

#include "../host/HostText.cpp"

using namespace reelka_host;

TEST(HostColour, ParsesThemeColourStrings) {
  Rgba c;
  ASSERT_TRUE(ParseRgba("rgba(255, 128, 0, 100)", c));
  EXPECT_EQ(255, c.r);
  EXPECT_EQ(128, c.g);
  EXPECT_EQ(0, c.b);
  EXPECT_EQ(100, c.a);
  ASSERT_TRUE(ParseRgba("  RGBA( 1,2 ,3,40 ) ", c));
  EXPECT_EQ(1, c.r);
  EXPECT_EQ(2, c.g);
  EXPECT_EQ(3, c.b);
  EXPECT_EQ(40, c.a);
}

TEST(HostColour, ClampsToTheScales) {
  Rgba c;
  // Alpha is on a 0..100 scale, the channels on 0..255.
  ASSERT_TRUE(ParseRgba("rgba(300, -5, 256, 255)", c));
  EXPECT_EQ(255, c.r);
  EXPECT_EQ(0, c.g);
  EXPECT_EQ(255, c.b);
  EXPECT_EQ(100, c.a);
}

TEST(HostColour, RejectsMalformedStrings) {
  Rgba c{7, 8, 9, 10};
  for (const char* bad : {"", "rgba", "rgba(1, 2, 3)", "rgb(1, 2, 3, 4)", "rgba(1, 2, 3, 4", "rgba(1, 2, 3, 4) x",
                          "rgba(a, 2, 3, 4)", "rgba(1,, 3, 4)", "rgba(1, 2, 3, 4, 5)"}) {
    EXPECT_FALSE(ParseRgba(bad, c)) << bad;
  }
  EXPECT_EQ(7, c.r);
  EXPECT_EQ(10, c.a);
}

TEST(HostMarkup, KeepsCharacterReferences) {
  EXPECT_EQ("&#8220;", EscapeMarkup("&#8220;"));
  EXPECT_EQ("&#48;&#51;", EscapeMarkup("&#48;&#51;"));
  EXPECT_EQ("&#x201C;Go&#X201d;", EscapeMarkup("&#x201C;Go&#X201d;"));
  EXPECT_EQ("&amp;&lt;&gt;&quot;&apos;", EscapeMarkup("&amp;&lt;&gt;&quot;&apos;"));
}

TEST(HostMarkup, EscapesEverythingElse) {
  EXPECT_EQ("a &lt;b&gt; &amp; c", EscapeMarkup("a <b> & c"));
  EXPECT_EQ("&lt;span foreground=\"red\"&gt;x&lt;/span&gt;", EscapeMarkup("<span foreground=\"red\">x</span>"));
  // Not references: unknown names, no digits, no semicolon, characters a
  // markup parser refuses, values past U+10FFFF.
  EXPECT_EQ("&amp;nbsp;", EscapeMarkup("&nbsp;"));
  EXPECT_EQ("&amp;#;", EscapeMarkup("&#;"));
  EXPECT_EQ("&amp;#65", EscapeMarkup("&#65"));
  EXPECT_EQ("&amp;#0;", EscapeMarkup("&#0;"));
  EXPECT_EQ("&amp;#xD800;", EscapeMarkup("&#xD800;"));
  EXPECT_EQ("&amp;#1114112;", EscapeMarkup("&#1114112;"));
  EXPECT_EQ("&amp;#123456789;", EscapeMarkup("&#123456789;"));
  EXPECT_EQ("&amp;", EscapeMarkup("&"));
  EXPECT_EQ("&amp;&#65;", EscapeMarkup("&&#65;"));
  // UTF-8 text passes unchanged.
  EXPECT_EQ("\xE2\x80\x9C" "caf\xC3\xA9", EscapeMarkup("\xE2\x80\x9C" "caf\xC3\xA9"));
}

TEST(HostUtf, RoundTripsAllPlanes) {
  const std::string text = "a/\xC3\xA9/\xE2\x80\x9C/\xF0\x9F\x98\x80.jpg";
  std::u16string wide;
  ASSERT_TRUE(Utf8ToUtf16(text, wide));
  EXPECT_EQ(u"a/\u00E9/\u201C/\U0001F600.jpg", wide);
  EXPECT_EQ(text, Utf16ToUtf8(wide));
}

TEST(HostUtf, RejectsMalformedUtf8) {
  std::u16string wide = u"keep";
  for (const char* bad : {"\x80", "a\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xE2\x80", "\xF8\x88\x80\x80\x80", "\xC3\x28"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, wide)) << bad;
    EXPECT_TRUE(wide.empty());
  }
}

TEST(HostUtf, ReadsFixedFieldsSafely) {
  // No terminator within the field: reading stops at its end.
  char16_t field[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ("abcd", Utf16ToUtf8(field, 4));
  EXPECT_EQ("ab", Utf16ToUtf8(field, 2));
  // Unpaired surrogates become U+FFFD, also a high one cut by the field end.
  const char16_t lone[] = {u'x', 0xDC00, u'y', 0xD83D, 0};
  EXPECT_EQ("x\xEF\xBF\xBDy\xEF\xBF\xBD", Utf16ToUtf8(lone, 4));
  EXPECT_EQ("", Utf16ToUtf8(nullptr, 10));
}

TEST(HostUtf, StoresOnlyWhatFits) {
  char16_t field[300];
  std::fill(field, field + 300, u'z');
  std::u16string fits(299, u'p');
  ASSERT_TRUE(StoreField(field, 300, fits));
  EXPECT_EQ(u'p', field[298]);
  EXPECT_EQ(u'\0', field[299]);

  std::u16string tooLong(300, u'q');
  EXPECT_FALSE(StoreField(field, 300, tooLong));
  EXPECT_EQ(u'p', field[0]);  // left as it was

  ASSERT_TRUE(StoreField(field, 300, u"ab"));
  EXPECT_EQ(u'\0', field[2]);
  EXPECT_EQ(u'\0', field[298]);  // the old tail is cleared
}

TEST(HostFont, SplitsThemeFontNames) {
  FontName f = ParseFontName("AlegreyaSansSC-BoldItalic");
  ASSERT_EQ(2u, f.families.size());
  EXPECT_EQ("AlegreyaSansSC", f.families[0]);
  EXPECT_EQ("Alegreya Sans SC", f.families[1]);
  EXPECT_EQ(700, f.weight);
  EXPECT_TRUE(f.italic);

  f = ParseFontName("nobile_bold_italic");
  ASSERT_EQ(1u, f.families.size());
  EXPECT_EQ("nobile", f.families[0]);
  EXPECT_EQ(700, f.weight);
  EXPECT_TRUE(f.italic);

  f = ParseFontName("EBGaramond-Regular");
  EXPECT_EQ("EB Garamond", f.families.back());
  EXPECT_EQ(400, f.weight);
  EXPECT_FALSE(f.italic);

  f = ParseFontName("AlegreyaSans-LightItalic");
  EXPECT_EQ("Alegreya Sans", f.families.back());
  EXPECT_EQ(300, f.weight);
  EXPECT_TRUE(f.italic);

  EXPECT_EQ(100, ParseFontName("AlegreyaSansSC-Thin").weight);
  EXPECT_EQ(500, ParseFontName("AlegreyaSans-Medium").weight);
  EXPECT_EQ(700, ParseFontName("Tangerine_Bold").weight);
  EXPECT_EQ("Contrail One", ParseFontName("ContrailOne-Regular").families.back());
  EXPECT_EQ("Ribeye Marrow", ParseFontName("RibeyeMarrow-Regular").families.back());
  EXPECT_EQ("DejaVu Sans", ParseFontName("DejaVu Sans").families.front());
  EXPECT_TRUE(ParseFontName("").families.empty());
}

TEST(HostAlign, ReadsAlignmentWords) {
  VAlign v;
  HAlign h;
  EXPECT_TRUE(ParseVAlign("top", v));
  EXPECT_EQ(VAlign::Top, v);
  EXPECT_TRUE(ParseVAlign("Middle", v));
  EXPECT_EQ(VAlign::Middle, v);
  EXPECT_TRUE(ParseVAlign("bottom", v));
  EXPECT_EQ(VAlign::Bottom, v);
  EXPECT_FALSE(ParseVAlign("sideways", v));
  EXPECT_EQ(VAlign::Middle, v);

  EXPECT_TRUE(ParseHAlign("center", h));
  EXPECT_EQ(HAlign::Center, h);
  EXPECT_TRUE(ParseHAlign("RIGHT", h));
  EXPECT_EQ(HAlign::Right, h);
  EXPECT_FALSE(ParseHAlign("", h));
  EXPECT_EQ(HAlign::Left, h);

  EXPECT_EQ(0, AlignOffset(130, 100, VAlign::Top));
  EXPECT_EQ(15, AlignOffset(130, 100, VAlign::Middle));
  EXPECT_EQ(30, AlignOffset(130, 100, VAlign::Bottom));
  EXPECT_EQ(-10, AlignOffset(80, 100, VAlign::Middle));
}
