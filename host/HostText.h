// Text helpers of the host program: string conversion, colour strings,
// Pango markup escaping, font names and alignment words. No dependency on
// the library or on Pango, so the unit tests can use them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace reelka_host {

// UTF-8 to UTF-16. Returns false (out left empty) on malformed UTF-8.
bool Utf8ToUtf16(const std::string& in, std::u16string& out);
// UTF-16 (terminated, at most maxUnits read) to UTF-8; unpaired surrogates
// become U+FFFD.
std::string Utf16ToUtf8(const char16_t* in, size_t maxUnits);
std::string Utf16ToUtf8(const std::u16string& in);
// Copies text into a fixed field of `capacity` units with its terminator.
// Returns false and leaves the field untouched when it does not fit.
bool StoreField(char16_t* field, size_t capacity, const std::u16string& text);

// A colour of the theme tables: red, green, blue 0..255, alpha 0..100.
struct Rgba {
  int r = 0;
  int g = 0;
  int b = 0;
  int a = 100;
};
// Parses "rgba(r, g, b, a)" (blanks optional). Out-of-range components are
// clamped. Returns false on anything else.
bool ParseRgba(const std::string& text, Rgba& out);

// The first character of text that a layer cannot show: a control
// character other than tab and line break (U+0000..U+001F, U+007F..U+009F),
// written as it is or as a character reference. Returns its code point and
// its 1-based column (in characters), or false when there is none.
bool FindControlCharacter(const std::string& text, uint32_t& codePoint, size_t& column);

// Turns layer text into Pango markup: '<', '>' and every '&' that does not
// open a well-formed character or XML entity reference are escaped, so
// references such as "&#8220;" decode and nothing else is taken as markup.
std::string EscapeMarkup(const std::string& text);

// A font name of the theme tables ("AlegreyaSansSC-BoldItalic",
// "nobile_bold_italic") split into a family and a style, with the installed
// family of a similar design that stands in when the theme's own is missing.
struct FontName {
  std::vector<std::string> families;  // candidates, best first
  int weight = 400;                   // CSS-like weight, 100..900
  bool italic = false;
  std::string substitute;  // empty when no similar family is known
  int width = 100;         // percent of the normal width: 75 condensed, 125 expanded
  bool smallCaps = false;
};
FontName ParseFontName(const std::string& name);

// The family to draw with: the theme's own when installed, else its
// substitute, else DejaVu Sans, else "Sans". `installed` holds lower-cased
// family names. `substituted` tells whether the theme's own was missing.
std::string ChooseFamily(const FontName& font, const std::set<std::string>& installed, bool& substituted);

// The largest size in [1, maxSize] for which fits(size) holds, found by
// bisection (fits is taken to hold for every size below one that fits);
// 0 when not even size 1 fits.
int LargestFittingSize(int maxSize, const std::function<bool(int)>& fits);

// Moves a block placed at `offset` (its ink spanning inkStart..inkStart +
// inkExtent from there) the least distance that keeps the ink inside
// 0..box. Ink larger than the box is centred on it.
int KeepInkInside(int offset, int inkStart, int inkExtent, int box);

enum class VAlign { Top, Middle, Bottom };
enum class HAlign { Left, Center, Right };
// Alignment words of the theme tables; false for an unknown word (the
// default, middle or left, is stored then).
bool ParseVAlign(const std::string& word, VAlign& out);
bool ParseHAlign(const std::string& word, HAlign& out);

// Offset of a block of `content` pixels inside `box` pixels.
int AlignOffset(int box, int content, VAlign align);

}  // namespace reelka_host
