#include "themes/PictureHeader.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Positioned reads from an open file; every read is bounds-checked.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path) : mFile(std::fopen(path.c_str(), "rb"), &std::fclose) {}
  bool ok() const { return mFile != nullptr; }
  bool Read(int64_t offset, unsigned char* out, size_t n) {
    if (!mFile || offset < 0 || std::fseek(mFile.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, n, mFile.get()) == n;
  }
  // Reads as many bytes as there are, up to n.
  size_t ReadSome(int64_t offset, unsigned char* out, size_t n) {
    if (!mFile || std::fseek(mFile.get(), static_cast<long>(offset), SEEK_SET) != 0) return 0;
    return std::fread(out, 1, n, mFile.get());
  }

 private:
  std::unique_ptr<FILE, int (*)(FILE*)> mFile;
};

uint32_t BE16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t BE32(const unsigned char* p) { return (BE16(p) << 16) | BE16(p + 2); }
uint32_t LE16(const unsigned char* p) { return (uint32_t(p[1]) << 8) | p[0]; }
uint32_t LE32(const unsigned char* p) { return (LE16(p + 2) << 16) | LE16(p); }

PictureHeader Sized(int64_t width, int64_t height) {
  PictureHeader h;
  h.known = width > 0 && height > 0;
  h.width = width;
  h.height = height;
  return h;
}

PictureHeader ReadJpeg(FileBytes& file) {
  int64_t pos = 2;
  unsigned char b[9];
  for (int guard = 0; guard < 4096; ++guard) {
    if (!file.Read(pos, b, 2) || b[0] != 0xFF) break;
    const unsigned char marker = b[1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) break;  // no frame header before the data
    if (!file.Read(pos + 2, b, 7)) break;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      PictureHeader h = Sized(BE16(b + 5), BE16(b + 3));
      h.jpeg = h.known;
      return h;
    }
    pos += 2 + BE16(b);
  }
  return PictureHeader();
}

PictureHeader ReadTiff(FileBytes& file, bool little) {
  auto u16 = [little](const unsigned char* p) { return little ? LE16(p) : BE16(p); };
  auto u32 = [little](const unsigned char* p) { return little ? LE32(p) : BE32(p); };
  unsigned char b[12];
  if (!file.Read(4, b, 4)) return PictureHeader();
  const int64_t ifd = u32(b);
  if (!file.Read(ifd, b, 2)) return PictureHeader();
  const uint32_t entries = u16(b);
  int64_t width = 0, height = 0;
  uint32_t bits = 0, photometric = 0, sampleFormat = 0;
  for (uint32_t i = 0; i < entries && i < 4096; ++i) {
    if (!file.Read(ifd + 2 + 12 * static_cast<int64_t>(i), b, 12)) return PictureHeader();
    const uint32_t tag = u16(b);
    const uint32_t type = u16(b + 2);
    const uint32_t count = u32(b + 4);
    // SHORT or LONG; the first value sits in the entry unless it does not fit there.
    const bool isShort = type == 3;
    if (!isShort && type != 4) continue;
    uint32_t value = isShort ? u16(b + 8) : u32(b + 8);
    if (uint64_t{count} * (isShort ? 2u : 4u) > 4u) {
      unsigned char v[4];
      if (!file.Read(u32(b + 8), v, 4)) continue;
      value = isShort ? u16(v) : u32(v);
    }
    if (tag == 256) width = value;
    if (tag == 257) height = value;
    if (tag == 258) bits = value;
    if (tag == 262) photometric = value;
    if (tag == 339) sampleFormat = value;
  }
  PictureHeader h = Sized(width, height);
  // IEEE floating point (format 3), LogL and LogLuv (32844, 32845), or 32-bit integers.
  h.floatSamples = h.known && (bits >= 32 || sampleFormat == 3 || photometric == 32844 || photometric == 32845);
  return h;
}

PictureHeader ReadWebp(FileBytes& file) {
  unsigned char b[30];
  if (!file.Read(0, b, 30)) return PictureHeader();
  if (std::memcmp(b + 12, "VP8 ", 4) == 0 && b[23] == 0x9D && b[24] == 0x01 && b[25] == 0x2A)
    return Sized(LE16(b + 26) & 0x3FFF, LE16(b + 28) & 0x3FFF);
  if (std::memcmp(b + 12, "VP8L", 4) == 0 && b[20] == 0x2F) {
    const uint32_t bits = LE32(b + 21);
    return Sized((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
  }
  if (std::memcmp(b + 12, "VP8X", 4) == 0) {
    const int64_t w = 1 + (b[24] | (b[25] << 8) | (b[26] << 16));
    const int64_t h = 1 + (b[27] | (b[28] << 8) | (b[29] << 16));
    return Sized(w, h);
  }
  return PictureHeader();
}

// P1-P6 and PF/Pf: whitespace-separated width and height with # comments;
// P7: WIDTH and HEIGHT lines.
PictureHeader ReadPnm(FileBytes& file) {
  unsigned char text[4096];
  const size_t n = file.ReadSome(0, text, sizeof(text));
  std::string head(reinterpret_cast<const char*>(text), n);
  if (head[1] == '7') {
    int64_t width = 0, height = 0;
    size_t at = head.find("WIDTH");
    if (at != std::string::npos) width = std::atoll(head.c_str() + at + 5);
    at = head.find("HEIGHT");
    if (at != std::string::npos) height = std::atoll(head.c_str() + at + 6);
    return Sized(width, height);
  }
  int64_t values[2] = {0, 0};
  size_t pos = 2;
  for (int k = 0; k < 2; ++k) {
    while (pos < head.size()) {
      if (head[pos] == '#') {
        while (pos < head.size() && head[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(head[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    if (pos >= head.size() || !std::isdigit(static_cast<unsigned char>(head[pos]))) return PictureHeader();
    while (pos < head.size() && std::isdigit(static_cast<unsigned char>(head[pos])) && values[k] < (int64_t{1} << 40))
      values[k] = values[k] * 10 + (head[pos++] - '0');
  }
  return Sized(values[0], values[1]);
}

}  // namespace

PictureHeader ReadPictureHeader(const std::string& path) {
  FileBytes file(path);
  unsigned char b[26];
  if (!file.ok() || !file.Read(0, b, 2)) return PictureHeader();
  if (b[0] == 0xFF && b[1] == 0xD8) return ReadJpeg(file);
  if (b[0] == 'B' && b[1] == 'M') {
    if (!file.Read(0, b, 26)) return PictureHeader();
    if (LE32(b + 14) == 12) return Sized(LE16(b + 18), LE16(b + 20));
    const int64_t height = static_cast<int32_t>(LE32(b + 22));
    return Sized(static_cast<int32_t>(LE32(b + 18)), height < 0 ? -height : height);
  }
  if ((b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M')) {
    const bool little = b[0] == 'I';
    if (!file.Read(0, b, 4) || (little ? LE16(b + 2) : BE16(b + 2)) != 42) return PictureHeader();
    return ReadTiff(file, little);
  }
  if (b[0] == 0x89 && b[1] == 'P') {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!file.Read(0, b, 24) || std::memcmp(b, kPng, 8) != 0 || std::memcmp(b + 12, "IHDR", 4) != 0)
      return PictureHeader();
    return Sized(BE32(b + 16), BE32(b + 20));
  }
  if (b[0] == 'R' && b[1] == 'I') {
    if (!file.Read(0, b, 12) || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WEBP", 4) != 0)
      return PictureHeader();
    return ReadWebp(file);
  }
  if (b[0] == 'P' && ((b[1] >= '1' && b[1] <= '7') || b[1] == 'F' || b[1] == 'f')) return ReadPnm(file);
  return PictureHeader();
}

int PictureReduction(int64_t width, int64_t height, bool jpeg) {
  if (width <= 0 || height <= 0) return 1;
  for (int factor = 1; factor <= 8; factor *= 2) {
    // The decoder rounds a reduced side up.
    const int64_t w = (width + factor - 1) / factor;
    const int64_t h = (height + factor - 1) / factor;
    if (w <= kMaxPicturePixels / h) return factor;
    if (!jpeg) return 0;
  }
  return 0;
}
