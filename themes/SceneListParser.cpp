#include "themes/SceneListParser.h"

#include <charconv>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char delimiter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = s.find(delimiter, start);
    parts.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::vector<std::string> SplitBlanks(const std::string& s) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) tokens.push_back(s.substr(start, i - start));
  }
  return tokens;
}

// The whole token must be one integer.
bool ToInt(const std::string& token, int32_t* value) {
  if (token.empty()) return false;
  const char* first = token.data();
  const char* last = first + token.size();
  auto result = std::from_chars(first, last, *value);
  return result.ec == std::errc() && result.ptr == last;
}

// The whole token must be one decimal number (locale independent).
bool ToFloat(const std::string& token, float* value) {
  if (token.empty()) return false;
  const char* first = token.data();
  const char* last = first + token.size();
  auto result = std::from_chars(first, last, *value, std::chars_format::fixed);
  return result.ec == std::errc() && result.ptr == last;
}

bool ParseOperand(const std::string& token, int32_t* type, int32_t* index) {
  if (token.size() < 2) return false;
  switch (token[0]) {
    case 'I': *type = kSceneImage; break;
    case 'P': *type = kScenePaper; break;
    case 'V': *type = kSceneVideo; break;
    default: return false;
  }
  return ToInt(token.substr(1), index);
}

}  // namespace

bool ParseIntList(const char* text, std::vector<int32_t>* out, std::string* error) {
  out->clear();
  if (!text) {
    if (error) *error = "no list";
    return false;
  }
  for (const std::string& part : Split(text, ',')) {
    int32_t value = 0;
    std::string token = Trim(part);
    if (!ToInt(token, &value)) {
      if (error) *error = "bad number '" + token + "' at entry " + std::to_string(out->size());
      return false;
    }
    out->push_back(value);
  }
  return true;
}

bool ParseSceneList(const char* text, ThemeSequence* out, std::string* error) {
  out->clear();
  if (!text) {
    if (error) *error = "no list";
    return false;
  }
  for (const std::string& part : Split(text, ';')) {
    const std::vector<std::string> tokens = SplitBlanks(part);
    const std::string where = " in scene " + std::to_string(out->size()) + " '" + Trim(part) + "'";
    if (tokens.size() != 3 && tokens.size() != 4) {
      if (error) *error = "expected 3 or 4 fields" + where;
      return false;
    }
    ThemeScene scene;
    scene.step = static_cast<int32_t>(out->size());
    if (!ToInt(tokens[0], &scene.effectCode)) {
      if (error) *error = "bad effect code" + where;
      return false;
    }
    const std::string& operand = tokens[1];
    size_t arrow = operand.find('>');
    std::string startText = arrow == std::string::npos ? operand : operand.substr(0, arrow);
    std::string endText = arrow == std::string::npos ? operand : operand.substr(arrow + 1);
    if (!ParseOperand(startText, &scene.startType, &scene.startIndex) ||
        !ParseOperand(endText, &scene.endType, &scene.endIndex)) {
      if (error) *error = "bad operand" + where;
      return false;
    }
    if (!ToFloat(tokens[2], &scene.durationSec) || !(scene.durationSec > 0.0f)) {
      if (error) *error = "bad duration" + where;
      return false;
    }
    if (tokens.size() == 4) {
      if (tokens[3].size() < 2 || tokens[3][0] != 'o' || !ToFloat(tokens[3].substr(1), &scene.effectOption)) {
        if (error) *error = "bad effect option" + where;
        return false;
      }
    }
    out->push_back(scene);
  }
  return true;
}
