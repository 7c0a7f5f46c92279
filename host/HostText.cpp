#include "HostText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "platform/Platform.h"

namespace reelka_host {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Characters a markup parser accepts from a numeric reference.
bool IsMarkupChar(uint32_t cp) {
  if (cp == 0x9 || cp == 0xA || cp == 0xD) return true;
  return (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Length of a well-formed reference starting at text[pos] == '&', or 0,
// and the code point it names, whether markup takes it or not.
size_t ParseReference(const std::string& text, size_t pos, uint32_t& value) {
  static const struct {
    const char* name;
    char character;
  } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  for (const auto& named : kNamed) {
    size_t n = std::strlen(named.name);
    if (text.compare(pos + 1, n, named.name) == 0) {
      value = static_cast<unsigned char>(named.character);
      return n + 1;
    }
  }
  size_t i = pos + 1;
  if (i >= text.size() || text[i] != '#') return 0;
  ++i;
  bool hex = false;
  if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  }
  size_t digitsStart = i;
  uint32_t v = 0;
  while (i < text.size() && i - digitsStart < 8) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else break;
    v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    ++i;
  }
  if (i == digitsStart || i >= text.size() || text[i] != ';') return 0;
  value = v;
  return i + 1 - pos;
}

// Length of a reference a markup parser decodes at text[pos], or 0.
size_t ReferenceLength(const std::string& text, size_t pos) {
  uint32_t value = 0;
  const size_t n = ParseReference(text, pos, value);
  return n > 0 && IsMarkupChar(value) ? n : 0;
}

// Parses an int with optional sign and surrounding blanks at text[pos].
bool ParseIntAt(const std::string& text, size_t& pos, int& value) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  size_t start = pos;
  long v = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (v < 100000) v = v * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  value = static_cast<int>(negative ? -v : v);
  return true;
}

bool IsControl(uint32_t cp) { return (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || (cp >= 0x7F && cp <= 0x9F); }

// The code point of the UTF-8 sequence at text[pos], and its length.
uint32_t DecodeAt(const std::string& text, size_t pos, size_t& length) {
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  length = std::min(length, text.size() - pos);
  uint32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
  for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[pos + k]) & 0x3F);
  return cp;
}

int Clamp(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// "AlegreyaSansSC" -> "Alegreya Sans SC", "EBGaramond" -> "EB Garamond".
std::string SpaceCamelCase(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (i > 0 && std::isupper(c)) {
      unsigned char prev = static_cast<unsigned char>(s[i - 1]);
      bool nextLower = i + 1 < s.size() && std::islower(static_cast<unsigned char>(s[i + 1]));
      if (std::islower(prev) || std::isdigit(prev) || (std::isupper(prev) && nextLower)) out += ' ';
    }
    out += static_cast<char>(c);
  }
  return out;
}

// Letters and digits of a family name, lower-cased: "Alegreya Sans SC",
// "AlegreyaSansSC" and "alegreya_sans_sc" are one family.
std::string FamilyKey(const std::string& family) {
  std::string key;
  for (char c : family) {
    if (std::isalnum(static_cast<unsigned char>(c))) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

// Debian font families of a similar design for the families the themes
// name. weight 0 keeps the weight of the name; a face that comes in one
// weight only gets the weight that matches its look.
const struct {
  const char* key;
  const char* substitute;
  int weight;
  int width;
  bool smallCaps;
} kSubstitutes[] = {
    {"alegreyasans", "Lato", 0, 100, false},
    {"alegreyasanssc", "Lato", 0, 100, true},
    {"nobile", "Cabin", 0, 100, false},
    {"oswald", "Yanone Kaffeesatz", 0, 75, false},
    {"economica", "Roboto Condensed", 0, 75, false},
    {"contrailone", "League Spartan", 700, 100, false},
    {"juliussansone", "Open Sans", 300, 125, true},
    {"poiretone", "Comfortaa", 300, 100, false},
    {"nixieone", "Roboto Slab", 300, 100, false},
    {"ribeyemarrow", "Cabin Sketch", 0, 100, false},
    {"tangerine", "Dancing Script", 0, 100, false},
    // EB Garamond, Dancing Script and Lobster Two are packaged under their own names.
};

const char* const kFallbackFamilies[] = {"DejaVu Sans", "Sans"};

}  // namespace

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
  out = platform::Utf8ToUtf16(in);
  // Malformed bytes come back as U+FFFD, so only well-formed text survives
  // the round trip unchanged.
  if (platform::Utf16ToUtf8(out) != in) {
    out.clear();
    return false;
  }
  return true;
}

std::string Utf16ToUtf8(const char16_t* in, size_t maxUnits) {
  if (!in) return std::string();
  return platform::Utf16ToUtf8(std::u16string(in, platform::WideLength(in, maxUnits)));
}

std::string Utf16ToUtf8(const std::u16string& in) { return Utf16ToUtf8(in.c_str(), in.size()); }

bool StoreField(char16_t* field, size_t capacity, const std::u16string& text) {
  if (!field || capacity == 0 || text.size() >= capacity) return false;
  std::copy(text.begin(), text.end(), field);
  std::fill(field + text.size(), field + capacity, u'\0');
  return true;
}

bool ParseRgba(const std::string& text, Rgba& out) {
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (Lower(text.substr(pos, 4)) != "rgba") return false;
  pos += 4;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos >= text.size() || text[pos] != '(') return false;
  ++pos;
  int v[4];
  for (int k = 0; k < 4; ++k) {
    if (!ParseIntAt(text, pos, v[k])) return false;
    char expected = k < 3 ? ',' : ')';
    if (pos >= text.size() || text[pos] != expected) return false;
    ++pos;
  }
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos != text.size()) return false;
  out.r = Clamp(v[0], 0, 255);
  out.g = Clamp(v[1], 0, 255);
  out.b = Clamp(v[2], 0, 255);
  out.a = Clamp(v[3], 0, 100);
  return true;
}

bool FindControlCharacter(const std::string& text, uint32_t& codePoint, size_t& column) {
  size_t length = 1;
  for (size_t pos = 0, col = 1; pos < text.size(); pos += length, ++col) {
    uint32_t cp = DecodeAt(text, pos, length);
    if (cp == '&') {
      uint32_t named = 0;
      if (ParseReference(text, pos, named) > 0 && IsControl(named)) cp = named;
    }
    if (IsControl(cp)) {
      codePoint = cp;
      column = col;
      return true;
    }
  }
  return false;
}

std::string EscapeMarkup(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '&') {
      size_t n = ReferenceLength(text, i);
      if (n > 0) {
        out.append(text, i, n);
        i += n - 1;
      } else {
        out += "&amp;";
      }
    } else {
      out += c;
    }
  }
  return out;
}

FontName ParseFontName(const std::string& name) {
  FontName font;
  size_t cut = name.find('-');
  if (cut == std::string::npos) cut = name.find('_');
  std::string family = name.substr(0, cut);
  std::string style = cut == std::string::npos ? std::string() : Lower(name.substr(cut + 1));
  // Trim blanks around the family.
  while (!family.empty() && std::isspace(static_cast<unsigned char>(family.back()))) family.pop_back();
  size_t lead = 0;
  while (lead < family.size() && std::isspace(static_cast<unsigned char>(family[lead]))) ++lead;
  family.erase(0, lead);

  for (const char* slant : {"italic", "oblique"}) {
    size_t at = style.find(slant);
    if (at != std::string::npos) {
      font.italic = true;
      style.erase(at, std::strlen(slant));
    }
  }
  static const struct {
    const char* word;
    int weight;
  } kWeights[] = {{"extralight", 200}, {"ultralight", 200}, {"semibold", 600}, {"demibold", 600},
                  {"extrabold", 800},  {"ultrabold", 800},  {"thin", 100},     {"light", 300},
                  {"medium", 500},     {"bold", 700},       {"black", 900},    {"heavy", 900}};
  for (const auto& w : kWeights) {
    if (style.find(w.word) != std::string::npos) {
      font.weight = w.weight;
      break;
    }
  }
  if (!family.empty()) {
    font.families.push_back(family);
    std::string spaced = SpaceCamelCase(family);
    if (spaced != family) font.families.push_back(spaced);
  }
  const std::string key = FamilyKey(family);
  for (const auto& s : kSubstitutes) {
    if (key != s.key) continue;
    font.substitute = s.substitute;
    if (s.weight > 0) font.weight = s.weight;
    font.width = s.width;
    font.smallCaps = s.smallCaps;
    break;
  }
  return font;
}

std::string ChooseFamily(const FontName& font, const std::set<std::string>& installed, bool& substituted) {
  substituted = false;
  for (const auto& family : font.families) {
    if (installed.count(Lower(family))) return family;
  }
  substituted = true;
  if (!font.substitute.empty() && installed.count(Lower(font.substitute))) return font.substitute;
  for (const char* family : kFallbackFamilies) {
    if (installed.count(Lower(family))) return family;
  }
  return kFallbackFamilies[1];
}

int LargestFittingSize(int maxSize, const std::function<bool(int)>& fits) {
  if (maxSize < 1 || !fits(1)) return 0;
  if (fits(maxSize)) return maxSize;
  int good = 1;
  int bad = maxSize;
  while (bad - good > 1) {
    int mid = good + (bad - good) / 2;
    if (fits(mid)) good = mid;
    else bad = mid;
  }
  return good;
}

int KeepInkInside(int offset, int inkStart, int inkExtent, int box) {
  if (inkExtent > box) return (box - inkExtent) / 2 - inkStart;
  if (offset + inkStart < 0) return -inkStart;
  if (offset + inkStart + inkExtent > box) return box - inkExtent - inkStart;
  return offset;
}

bool ParseVAlign(const std::string& word, VAlign& out) {
  std::string w = Lower(word);
  if (w == "top") out = VAlign::Top;
  else if (w == "middle" || w == "center" || w == "centre") out = VAlign::Middle;
  else if (w == "bottom") out = VAlign::Bottom;
  else {
    out = VAlign::Middle;
    return false;
  }
  return true;
}

bool ParseHAlign(const std::string& word, HAlign& out) {
  std::string w = Lower(word);
  if (w == "left") out = HAlign::Left;
  else if (w == "center" || w == "centre" || w == "middle") out = HAlign::Center;
  else if (w == "right") out = HAlign::Right;
  else {
    out = HAlign::Left;
    return false;
  }
  return true;
}

int AlignOffset(int box, int content, VAlign align) {
  switch (align) {
    case VAlign::Top: return 0;
    case VAlign::Middle: return (box - content) / 2;
    case VAlign::Bottom: return box - content;
  }
  return 0;
}

}  // namespace reelka_host
