#include "TextLayers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "HostText.h"

namespace reelka_host {

namespace {

const int kTextLayerType = 3;
const int kRenderedTextLayerType = 4;

int SlotCount(const ThemeSlotSequence& seq) { return std::min(std::max(seq.slotCount, 0), REELKA_MAX_SLOTS); }

int LayerCount(const SlotContext& slot) { return std::min(std::max(slot.layerCount, 0), REELKA_MAX_LAYERS); }

std::string Field(const char16_t* field, size_t capacity) { return Utf16ToUtf8(field, capacity); }

}  // namespace

bool ParseIndex(const std::string& text, int& value) {
  if (text.empty() || text.size() > 6) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

bool ParseTextAssignment(const std::string& assignment, TextAssignment& out, std::string& error, size_t column) {
  size_t colon = assignment.find(':');
  size_t eq = assignment.find('=');
  TextAssignment parsed;
  if (colon == std::string::npos || eq == std::string::npos || colon > eq ||
      !ParseIndex(assignment.substr(0, colon), parsed.slot) ||
      !ParseIndex(assignment.substr(colon + 1, eq - colon - 1), parsed.layer)) {
    error = "expected SLOT:LAYER=TEXT with SLOT and LAYER numbers from 0";
    return false;
  }
  parsed.text = assignment.substr(eq + 1);
  std::u16string wide;
  if (!Utf8ToUtf16(parsed.text, wide)) {
    error = "the text is not valid UTF-8";
    return false;
  }
  uint32_t control = 0;
  size_t at = 0;
  if (FindControlCharacter(parsed.text, control, at)) {
    char code[16];
    std::snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(control));
    error = "column " + std::to_string(column + eq + at) + ": control character " + code +
            " (a text may hold tabs and line breaks, no other control characters)";
    return false;
  }
  if (wide.size() >= REELKA_PATH_LEN) {
    error = "the text is " + std::to_string(wide.size()) + " characters long, at most " +
            std::to_string(REELKA_PATH_LEN - 1) + " fit a layer";
    return false;
  }
  parsed.origin = out.origin;  // the caller's
  out = parsed;
  return true;
}

namespace {

// Reads a texts file line by line; refuses a line longer than kMaxLineBytes
// at once, without reading on.
class LineReader {
 public:
  explicit LineReader(int fd) : mFd(fd) {}
  // False at the end of the file or on an error (error() tells which).
  bool Next(std::string& line) {
    line.clear();
    for (;;) {
      if (mPos == mEnd && !Fill()) return !line.empty() && !mError;
      const char* start = mBuffer + mPos;
      const char* newline = static_cast<const char*>(std::memchr(start, '\n', mEnd - mPos));
      const size_t n = newline ? static_cast<size_t>(newline - start) : mEnd - mPos;
      if (line.size() + n > kMaxLineBytes) {
        mTooLong = true;
        return false;
      }
      line.append(start, n);
      mPos += n + (newline ? 1 : 0);
      if (newline) return true;
    }
  }
  bool error() const { return mError; }
  bool tooLong() const { return mTooLong; }

 private:
  bool Fill() {
    ssize_t n;
    do n = ::read(mFd, mBuffer, sizeof(mBuffer));
    while (n < 0 && errno == EINTR);
    mError = n < 0;
    mPos = 0;
    mEnd = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0;
  }
  int mFd;
  char mBuffer[4096];
  size_t mPos = 0;
  size_t mEnd = 0;
  bool mError = false;
  bool mTooLong = false;
};

// Only a regular file is read: a device, a pipe or a folder is refused
// before anything is read from it. -1 with the reason otherwise.
int OpenTextsFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    error = path + ": cannot be read" + (errno ? std::string(": ") + std::strerror(errno) : std::string());
  } else if (!S_ISREG(st.st_mode)) {
    error = path + ": not a regular file";
  } else {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

}  // namespace

namespace {

// The assignments of a run, one per layer: a later one replaces an earlier
// one in its place. Of those naming a slot or layer beyond what any theme
// context holds, refused later all the same, only the first is kept. So the
// list never grows past the layers a theme can have, however long a file.
class AssignmentSet {
 public:
  explicit AssignmentSet(std::vector<TextAssignment> list) : mList(std::move(list)) {
    for (auto& slot : mAt) std::fill(std::begin(slot), std::end(slot), kNone);
    for (size_t i = 0; i < mList.size(); ++i) Index(mList[i], i);
  }
  void Add(TextAssignment&& a) {
    if (!InRecord(a)) {
      if (mOutsideKept) return;
      mOutsideKept = true;
    } else if (mAt[a.slot][a.layer] != kNone) {
      mList[mAt[a.slot][a.layer]] = std::move(a);
      return;
    }
    mList.push_back(std::move(a));
    Index(mList.back(), mList.size() - 1);
  }
  std::vector<TextAssignment>& list() { return mList; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  static bool InRecord(const TextAssignment& a) {
    return a.slot >= 0 && a.slot < REELKA_MAX_SLOTS && a.layer >= 0 && a.layer < REELKA_MAX_LAYERS;
  }
  void Index(const TextAssignment& a, size_t i) {
    if (!InRecord(a)) mOutsideKept = true;
    else if (mAt[a.slot][a.layer] == kNone) mAt[a.slot][a.layer] = i;
  }
  std::vector<TextAssignment> mList;
  size_t mAt[REELKA_MAX_SLOTS][REELKA_MAX_LAYERS];
  bool mOutsideKept = false;
};

}  // namespace

bool ReadTextsFile(const std::string& path, std::vector<TextAssignment>& out, std::string& error) {
  const int fd = OpenTextsFile(path, error);
  if (fd < 0) return false;
  LineReader reader(fd);
  AssignmentSet read(out);
  std::string line;
  int number = 0;
  bool ok = true;
  while (ok && reader.Next(line)) {
    ++number;
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = 0;
    while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first]))) ++first;
    if (first == line.size() || line[first] == '#') continue;
    TextAssignment a;
    std::string why;
    ok = ParseTextAssignment(line.substr(first), a, why, first + 1);
    a.origin = path + ":" + std::to_string(number);
    if (ok) read.Add(std::move(a));
    else error = a.origin + ": " + why;
  }
  ::close(fd);
  if (ok && reader.tooLong()) {
    error = path + ":" + std::to_string(number + 1) + ": the line is longer than " + std::to_string(kMaxLineBytes) +
            " bytes, more than a text layer holds";
    ok = false;
  } else if (ok && reader.error()) {
    error = path + ": read error";
    ok = false;
  }
  if (ok) out.swap(read.list());
  return ok;
}

int TextLayerCount(const SlotContext& slot) {
  int n = 0;
  for (int l = 0; l < LayerCount(slot); ++l) n += slot.layers[l].layerType == kTextLayerType ? 1 : 0;
  return n;
}

int TextLayerIndex(const SlotContext& slot, int n) {
  if (n < 0) return -1;
  for (int l = 0; l < LayerCount(slot); ++l) {
    if (slot.layers[l].layerType != kTextLayerType) continue;
    if (n-- == 0) return l;
  }
  return -1;
}

bool ApplyTexts(ThemeSlotSequence& sequence, const std::vector<TextAssignment>& texts, std::string& error) {
  const int slots = SlotCount(sequence);
  for (const auto& t : texts) {
    std::string head = t.origin + " " + std::to_string(t.slot) + ":" + std::to_string(t.layer) + ": ";
    if (t.slot < 0 || t.slot >= slots) {
      error = head + "the theme context has " + std::to_string(slots) + " slots" +
              (slots > 0 ? " (0 to " + std::to_string(slots - 1) + ")" : std::string());
      return false;
    }
    int count = TextLayerCount(sequence.slots[t.slot]);
    if (count == 0) {
      std::string withText;
      for (int s = 0; s < slots; ++s) {
        if (TextLayerCount(sequence.slots[s]) > 0) withText += (withText.empty() ? "" : ", ") + std::to_string(s);
      }
      error = head + "slot " + std::to_string(t.slot) + " has no text layers" +
              (withText.empty() ? std::string() : "; slots with text layers: " + withText);
      return false;
    }
    if (t.layer < 0 || t.layer >= count) {
      error = head + "slot " + std::to_string(t.slot) + " has " + std::to_string(count) + " text layer" +
              (count == 1 ? " (0)" : "s (0 to " + std::to_string(count - 1) + ")");
      return false;
    }
  }
  for (const auto& t : texts) {
    std::u16string wide;
    Utf8ToUtf16(t.text, wide);
    LayerContext& layer = sequence.slots[t.slot].layers[TextLayerIndex(sequence.slots[t.slot], t.layer)];
    StoreField(layer.text, REELKA_PATH_LEN, wide);
  }
  return true;
}

TextLayerStyle StyleOf(const LayerContext& layer) {
  TextLayerStyle style;
  style.width = layer.width;
  style.height = layer.height;
  style.size = layer.size;
  style.text = Field(layer.text, REELKA_PATH_LEN);
  style.font = Field(layer.font, REELKA_PATH_LEN);
  style.vertical = Field(layer.vertical, REELKA_SHORT_LEN);
  style.horizontal = Field(layer.horizontal, REELKA_SHORT_LEN);
  style.colour = Field(layer.colour, REELKA_SHORT_LEN);
  style.background = Field(layer.background, REELKA_SHORT_LEN);
  return style;
}

bool MarkRendered(LayerContext& layer, const std::string& imagePath) {
  std::u16string wide;
  if (!Utf8ToUtf16(imagePath, wide) || !StoreField(layer.layerSource, REELKA_PATH_LEN, wide)) return false;
  layer.layerType = kRenderedTextLayerType;
  return true;
}

}  // namespace reelka_host
