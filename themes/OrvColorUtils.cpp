#include "themes/OrvColorUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"
#include "platform/Platform.h"
#include "themes/PictureHeader.h"
#include "themes/SlotInformation.h"


namespace {

const char* const kTagTarget = "OrvColorUtils::PickColorFromTarget";
const char* const kTagLocation = "OrvColorUtils::GetSummaryLocation";
const char* const kTagVideo = "OrvColorUtils::PickColorFromVideo";
const char* const kTagImage = "OrvColorUtils::PickColorFromImage";
const char* const kTagDominant = "OrvColorUtils::PickDominantColor";

constexpr double kGreyThreshold = 10.0;
constexpr int kHueBins = 181;

struct StyleRow {
  int s1, v1, s2, v2;
};

// Saturation and value of the two colours per colour style; S2 falls back to S1.
StyleRow GetStyleRow(int style) {
  switch (style) {
    case 1: return {26, 255, 26, 26};
    case 2: return {103, 255, 103, 103};
    case 3: return {255, 103, 255, 255};
    case 4: return {179, 103, 179, 179};
    case 5: return {179, 255, 255, 25};
    case 6: return {255, 179, 229, 76};
    case 7: return {179, 179, 179, 179};
    case 8: return {103, 103, 38, 229};
    default: return {26, 255, 26, 26};
  }
}

cv::Mat GreyColour(int value) { return cv::Mat(1, 1, CV_8UC3, cv::Scalar(value, value, value)); }

cv::Mat HsvToBgr(int h, int s, int v) {
  cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(h, s, v));
  cv::Mat bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  return bgr;
}

}  // namespace

// Two passes over the blocks: the index, then the index modulo the total.
BlockPosition OrvColorUtils::FindBlockPosition(const std::vector<SummarizedVideo>* list, int index) {
  BlockPosition found;
  if (!list || index < 0) return found;
  int64_t total = 0;
  int64_t rest = index;
  for (size_t v = 0; v < list->size(); ++v) {
    int64_t n = static_cast<int64_t>((*list)[v].blocks.size());
    total += n;
    if (rest < n) return {static_cast<int>(v), static_cast<int>(rest)};
    rest -= n;
  }
  if (total == 0) return found;
  rest = index % total;
  for (size_t v = 0; v < list->size(); ++v) {
    int64_t n = static_cast<int64_t>((*list)[v].blocks.size());
    if (rest < n) return {static_cast<int>(v), static_cast<int>(rest)};
    rest -= n;
  }
  return found;
}

namespace {

enum class FileKind { Jpeg, PngPlain, Other };

// JPEG holds no alpha; a PNG without an "eXIf" chunk before its data carries
// no orientation. Either way one decode is enough.
FileKind SniffFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return FileKind::Other;
  unsigned char head[8] = {0};
  FileKind kind = FileKind::Other;
  if (std::fread(head, 1, 8, f) == 8) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (head[0] == 0xFF && head[1] == 0xD8) {
      kind = FileKind::Jpeg;
    } else if (std::equal(head, head + 8, kPng)) {
      kind = FileKind::PngPlain;
      unsigned char chunk[8];
      for (int guard = 0; guard < 4096 && std::fread(chunk, 1, 8, f) == 8; ++guard) {
        const uint32_t length = (uint32_t(chunk[0]) << 24) | (uint32_t(chunk[1]) << 16) | (uint32_t(chunk[2]) << 8) |
                                uint32_t(chunk[3]);
        if (std::memcmp(chunk + 4, "eXIf", 4) == 0) {
          kind = FileKind::Other;
          break;
        }
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::memcmp(chunk + 4, "IEND", 4) == 0) break;
        if (std::fseek(f, static_cast<long>(length) + 4, SEEK_CUR) != 0) break;
      }
    }
  }
  std::fclose(f);
  return kind;
}

// The eight EXIF orientations as transforms of the stored picture.
cv::Mat Orient(const cv::Mat& src, int orientation) {
  cv::Mat out;
  switch (orientation) {
    case 2: cv::flip(src, out, 1); break;
    case 3: cv::flip(src, out, -1); break;
    case 4: cv::flip(src, out, 0); break;
    case 5: cv::transpose(src, out); break;
    case 6: cv::rotate(src, out, cv::ROTATE_90_CLOCKWISE); break;
    case 7: cv::transpose(src, out); cv::flip(out, out, -1); break;
    case 8: cv::rotate(src, out, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    default: out = src; break;
  }
  return out;
}

// The unchanged read keeps alpha but skips the EXIF orientation that the
// colour read applies: find the transform that turns one into the other.
cv::Mat OrientLike(const cv::Mat& bgra, const cv::Mat& shown) {
  cv::Mat bgr;
  cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
  int best = 1;
  double bestDiff = -1.0;
  for (int o = 1; o <= 8; ++o) {
    bool swapped = (o >= 5);
    int w = swapped ? bgr.rows : bgr.cols;
    int h = swapped ? bgr.cols : bgr.rows;
    if (w != shown.cols || h != shown.rows) continue;
    double diff = cv::norm(Orient(bgr, o), shown, cv::NORM_L1);
    if (bestDiff < 0.0 || diff < bestDiff) {
      bestDiff = diff;
      best = o;
    }
    if (diff == 0.0) break;
  }
  return best == 1 ? bgra : Orient(bgra, best);
}

cv::Mat ToDepth8(const cv::Mat& picture) {
  switch (picture.depth()) {
    case CV_8U: return picture;
    case CV_16U: {
      cv::Mat out;
      picture.convertTo(out, CV_8U, 1.0 / 257.0);
      return out;
    }
    case CV_32F:
    case CV_64F: {
      cv::Mat out;
      picture.convertTo(out, CV_8U, 255.0);
      return out;
    }
    default: {
      cv::Mat out;
      picture.convertTo(out, CV_8U);
      return out;
    }
  }
}

}  // namespace

void OrvColorUtils::SetGreyColors(PickedColors* out, int style) {
  if (!out) return;
  StyleRow row = GetStyleRow(style);
  out->style = style;
  out->colour1 = GreyColour(row.v1 == 255 ? 200 : row.v1);
  out->colour2 = GreyColour(row.v2);
}

SummaryLocation OrvColorUtils::FindSummaryBlock(const std::vector<SummarizedVideo>* summarizedList, int index) {
  SummaryLocation location;
  BlockPosition p = FindBlockPosition(summarizedList, index);
  if (p.video < 0) return location;
  auto& video = const_cast<SummarizedVideo&>((*summarizedList)[p.video]);
  location.videoName = video.fileName;
  location.block = &video.blocks[p.position];
  return location;
}

SummaryLocation OrvColorUtils::GetSummaryLocation(std::vector<SummarizedVideo>* summarizedList, int index) {
  BlockPosition p = FindBlockPosition(summarizedList, index);
  SummaryLocation location;
  if (p.video >= 0) {
    SummarizedVideo& video = (*summarizedList)[p.video];
    ORV_LOG(kTagLocation, "GetSuperFrame, video : %d[%s], index : %d", p.video, video.fileName.c_str(), p.position);
    location.videoName = video.fileName;
    location.block = &video.blocks[p.position];
    return location;
  }
  ORV_LOG(kTagLocation, "Failed to find correct summary block");
  // Fall back on the first block of the list, when there is one.
  if (summarizedList) {
    for (SummarizedVideo& video : *summarizedList) {
      if (!video.blocks.empty()) {
        location.videoName = video.fileName;
        location.block = &video.blocks.front();
        return location;
      }
    }
  }
  return location;
}

bool OrvColorUtils::ReadBlockFrame(const std::string& videoName, const SuperFrame* block, cv::Mat& frame,
                                   const char* tag) {
  frame.release();
  if (!block) {
    ORV_LOG(tag, "Summarized Frame had null pointer");
    return false;
  }
  try {
    OrvFXFrameHandler* reader = videoName.empty() ? nullptr : OrvVideoHandlerFactory::GetFrameHandler(videoName);
    if (!reader) {
      ORV_LOG(tag, "Video handler had null pointer");
      return false;
    }
    reader->seekTo(block->sfStart);
    reader->readFrame(frame);
  } catch (const std::exception& e) {
    ORV_LOG(tag, "## Couldn't read a frame of %s (%s)", videoName.c_str(), ErrorText(e).c_str());
    if (IsOutOfMemory(e)) throw;
    frame.release();
    return false;
  }
  if (frame.empty()) {
    ORV_LOG(tag, "## Couldn't read a frame of %s at %d us", videoName.c_str(), block->sfStart);
    return false;
  }
  return true;
}

void OrvColorUtils::PickColorFromTarget(const SlotContext* slots, std::vector<SummarizedVideo>* summarizedList,
                                        int targetType, int targetIndex, PickedColors* out, int slotCount) {
  if (!out) return;
  if (targetType == 1) {
    if (!slots || targetIndex < 0 || targetIndex >= slotCount || targetIndex >= REELKA_MAX_SLOTS) {
      ORV_LOG(kTagTarget, "## Colour target slot out of range, targetIndex : %d, slots : %d", targetIndex, slotCount);
      return;
    }
    std::string path = GetReadablePath(slots[targetIndex].layers[0].layerSource);
    PickColorFromImage(out, path);
  } else if (targetType == 2) {
    int sfIndex = targetIndex - 1;
    ORV_LOG(kTagTarget, "TargetIndex : %d, sfindex : %d", targetIndex, sfIndex);
    SummaryLocation location = GetSummaryLocation(summarizedList, sfIndex);
    if (!location.block) {
      ORV_LOG(kTagTarget, "Summarized Frame had null pointer");
      return;
    }
    OrvFXFrameHandler* reader = nullptr;
    try {
      reader = OrvVideoHandlerFactory::GetFrameHandler(location.videoName);
    } catch (const std::exception& e) {
      ORV_LOG(kTagTarget, "## Couldn't open %s (%s)", location.videoName.c_str(), ErrorText(e).c_str());
    }
    PickColorFromVideo(reader, location.block, out);
  } else {
    ORV_LOG(kTagTarget, "Error: This slot has no separator.");
  }
}

void OrvColorUtils::PickColorFromVideo(OrvFXFrameHandler* reader, SuperFrame*& block, PickedColors* out) {
  if (!reader) {
    ORV_LOG(kTagVideo, "Video handler had null pointer");
    return;
  }
  if (!block) {
    ORV_LOG(kTagVideo, "Summarized Frame had null pointer");
    return;
  }
  cv::Mat frame;
  try {
    reader->seekTo(block->sfStart);
    reader->readFrame(frame);
  } catch (const std::exception& e) {
    ORV_LOG(kTagVideo, "## Couldn't read a frame for ColorPick (%s)", ErrorText(e).c_str());
    if (IsOutOfMemory(e)) throw;
    return;
  }
  if (frame.empty()) {
    ORV_LOG(kTagVideo, "## Couldn't read a frame for ColorPick at %d us", block->sfStart);
    return;
  }
  PickDominantColor(frame, out);
}

void OrvColorUtils::PickColorFromImage(PickedColors* out, std::string path) {
  if (!out) return;
  if (path.empty() || !IS_EXIST_FILE(path)) {
    ORV_LOG(kTagImage, "## Couldn't read image file for ColorPick, %s", path.c_str());
    return;
  }
  // The one reading policy (size limit, depths) applies to colour picks too.
  cv::Mat picture = ReadPicture(path, false, kTagImage);
  if (picture.empty()) {
    ORV_LOG(kTagImage, "## Couldn't decode image file for ColorPick, %s", path.c_str());
    return;
  }
  PickDominantColor(picture, out);
}

void OrvColorUtils::PickDominantColor(cv::Mat picture, PickedColors* out) {
  if (!out) return;
  if (picture.empty()) {
    ORV_LOG(kTagDominant, "## Empty picture, colours are kept");
    return;
  }
  try {
    if (picture.type() != CV_8UC3) picture = ToBGR8(picture);
    StyleRow row = GetStyleRow(out->style);
    cv::Mat hsv;
    cv::cvtColor(picture, hsv, cv::COLOR_BGR2HSV);

    int64_t hue[kHueBins] = {0};
    int64_t grey = 0;
    for (int r = 0; r < picture.rows; ++r) {
      const uchar* p = picture.ptr<uchar>(r);
      const uchar* h = hsv.ptr<uchar>(r);
      for (int c = 0; c < picture.cols; ++c, p += 3, h += 3) {
        const int B = p[0], G = p[1], R = p[2];
        const float m = static_cast<float>(static_cast<double>(B + G + R) / 3.0);
        const float dg = static_cast<float>(G) - m;
        const float db = static_cast<float>(B) - m;
        const float dr = static_cast<float>(R) - m;
        const float sum = dg * dg + db * db + dr * dr;
        const float d = std::sqrt(sum);
        if (d < kGreyThreshold) {
          ++grey;
        } else {
          ++hue[h[0]];
        }
      }
    }

    const int64_t total = static_cast<int64_t>(picture.rows) * picture.cols;
    const int64_t low = static_cast<int64_t>(static_cast<double>(total) * 0.5);
    const int64_t high = static_cast<int64_t>(static_cast<double>(total) * 0.7);
    if (grey == total || (low < grey && grey < high)) {
      out->colour1 = GreyColour(row.v1 == 255 ? 200 : row.v1);
      out->colour2 = GreyColour(row.v2);
      return;
    }
    int best = 0;
    int64_t bestCount = 0;
    for (int b = 0; b < kHueBins; ++b) {
      if (hue[b] > bestCount) {
        bestCount = hue[b];
        best = b;
      }
    }
    out->colour1 = HsvToBgr(best, row.s1, row.v1);
    out->colour2 = HsvToBgr(best, row.s2, row.v2);
  } catch (const std::exception& e) {
    ORV_LOG(kTagDominant, "## Couldn't pick colours (%s)", ErrorText(e).c_str());
    if (IsOutOfMemory(e)) throw;
  }
}

void OrvColorUtils::FillColor(cv::Mat colour, cv::Mat& image) {
  if (image.empty() || colour.empty() || colour.type() != CV_8UC3) return;
  if (image.type() != CV_8UC4) {
    if (image.type() == CV_8UC3) {
      cv::cvtColor(image, image, cv::COLOR_BGR2BGRA);
    } else {
      image = ToBGRA8(image);
    }
  }
  const cv::Vec3b c = colour.at<cv::Vec3b>(0, 0);
  for (int r = 0; r < image.rows; ++r) {
    cv::Vec4b* p = image.ptr<cv::Vec4b>(r);
    for (int x = 0; x < image.cols; ++x) {
      p[x][0] = c[0];
      p[x][1] = c[1];
      p[x][2] = c[2];
    }
  }
}

void OrvColorUtils::BlendImage(cv::Mat& overlay, cv::Mat& canvas, int x, int y, int width, int height) {
  if (overlay.empty() || canvas.empty() || canvas.type() != CV_8UC4) return;
  if (overlay.type() != CV_8UC4) {
    if (overlay.type() == CV_8UC3) {
      cv::cvtColor(overlay, overlay, cv::COLOR_BGR2BGRA);
    } else {
      overlay = ToBGRA8(overlay);
    }
  }
  // Clip to the frame, the canvas and the overlay.
  const int64_t r0 = std::max<int64_t>(y, 0);
  const int64_t c0 = std::max<int64_t>(x, 0);
  const int64_t r1 = std::min<int64_t>({static_cast<int64_t>(y) + height, kFrameHeight, canvas.rows,
                                        static_cast<int64_t>(y) + overlay.rows});
  const int64_t c1 = std::min<int64_t>({static_cast<int64_t>(x) + width, kFrameWidth, canvas.cols,
                                        static_cast<int64_t>(x) + overlay.cols});
  for (int64_t r = r0; r < r1; ++r) {
    cv::Vec4b* dst = canvas.ptr<cv::Vec4b>(static_cast<int>(r));
    const cv::Vec4b* src = overlay.ptr<cv::Vec4b>(static_cast<int>(r - y));
    for (int64_t c = c0; c < c1; ++c) {
      const cv::Vec4b& o = src[c - x];
      cv::Vec4b& d = dst[c];
      if (d[3] == 0) {
        d = o;
        continue;
      }
      const int oa = o[3];
      if (oa != 0) {
        const double a = oa / 255.0;
        for (int ch = 0; ch < 3; ++ch) {
          d[ch] = static_cast<uchar>(static_cast<int>(o[ch] * a + d[ch] * (1.0 - a)));
        }
      }
      d[3] = static_cast<uchar>(std::min(oa + d[3], 255));
    }
  }
}

int OrvColorUtils::ParseTrailingNumber(const char* text) {
  if (!text) return -1;
  std::vector<std::string> tokens = SplitByDelimiters(text, "(,)");
  if (tokens.empty()) return -1;
  return std::atoi(tokens.back().c_str());
}

std::vector<std::string> OrvColorUtils::SplitByDelimiters(std::string text, std::string delimiters) {
  std::vector<std::string> tokens;
  size_t start = 0;
  size_t pos = text.find_first_of(delimiters, start);
  while (pos != std::string::npos) {
    if (pos > start) tokens.push_back(text.substr(start, pos - start));
    start = pos + 1;
    pos = text.find_first_of(delimiters, start);
  }
  if (start < text.size()) tokens.push_back(text.substr(start));
  return tokens;
}

cv::Mat OrvColorUtils::ToBGRA8(const cv::Mat& picture) {
  if (picture.empty()) return cv::Mat();
  cv::Mat m = ToDepth8(picture);
  cv::Mat out;
  switch (m.channels()) {
    case 1: cv::cvtColor(m, out, cv::COLOR_GRAY2BGRA); break;
    case 2: {
      std::vector<cv::Mat> planes;
      cv::split(m, planes);
      cv::merge(std::vector<cv::Mat>{planes[0], planes[0], planes[0], planes[1]}, out);
      break;
    }
    case 3: cv::cvtColor(m, out, cv::COLOR_BGR2BGRA); break;
    case 4: out = m; break;
    default: {
      out.create(m.size(), CV_8UC4);
      const int fromTo[] = {0, 0, 1, 1, 2, 2, 3, 3};
      cv::mixChannels(&m, 1, &out, 1, fromTo, 4);
      break;
    }
  }
  return out;
}

cv::Mat OrvColorUtils::ToBGR8(const cv::Mat& picture) {
  if (picture.empty()) return cv::Mat();
  cv::Mat m = ToDepth8(picture);
  cv::Mat out;
  switch (m.channels()) {
    case 1: cv::cvtColor(m, out, cv::COLOR_GRAY2BGR); break;
    case 3: out = m; break;
    case 4: cv::cvtColor(m, out, cv::COLOR_BGRA2BGR); break;
    default: cv::cvtColor(ToBGRA8(m), out, cv::COLOR_BGRA2BGR); break;
  }
  return out;
}

cv::Mat OrvColorUtils::ReadPicture(const std::string& path, bool keepAlpha, const char* tag) {
  if (path.empty()) {
    ORV_LOG(tag, "## Couldn't read image file, empty path");
    return cv::Mat();
  }
  // A pipe or a device would block the read: only regular files are opened.
  if (!platform::IsRegularFile(path)) {
    ORV_LOG(tag, "## Couldn't read image file, not a regular file. %s", path.c_str());
    return cv::Mat();
  }
  try {
    // The declared size is checked before anything is decoded.
    const PictureHeader header = ReadPictureHeader(path);
    const int reduction = header.known ? PictureReduction(header.width, header.height, header.jpeg) : 1;
    if (reduction == 0) {
      ORV_LOG(tag, "## Couldn't decode image file. %s (%lld x %lld is over the limit of %lld pixels)", path.c_str(),
              static_cast<long long>(header.width), static_cast<long long>(header.height),
              static_cast<long long>(kMaxPicturePixels));
      return cv::Mat();
    }
    if (reduction > 1)
      ORV_LOG(tag, "Picture of %lld x %lld is over the limit of %lld pixels, read at 1/%d size. %s",
              static_cast<long long>(header.width), static_cast<long long>(header.height),
              static_cast<long long>(kMaxPicturePixels), reduction, path.c_str());
    const FileKind kind = SniffFile(path);
    if (kind == FileKind::Jpeg) {
      // The colour read applies the EXIF orientation; JPEG holds no alpha.
      const int flags = reduction == 8   ? cv::IMREAD_REDUCED_COLOR_8
                        : reduction == 4 ? cv::IMREAD_REDUCED_COLOR_4
                        : reduction == 2 ? cv::IMREAD_REDUCED_COLOR_2
                                         : cv::IMREAD_COLOR;
      cv::Mat bgr = cv::imread(path, flags);
      if (bgr.empty()) ORV_LOG(tag, "## Couldn't decode image file. %s", path.c_str());
      return ToBGRA8(bgr);
    }
    // Floating-point and 32-bit samples decode only unchanged (the colour
    // read fails or misreads them); so does any picture the colour read refuses.
    cv::Mat bgr;
    if (!keepAlpha && !header.floatSamples) bgr = cv::imread(path, cv::IMREAD_COLOR);
    if (!bgr.empty()) return ToBGRA8(bgr);
    if (!keepAlpha || header.floatSamples) {
      cv::Mat raw = cv::imread(path, cv::IMREAD_UNCHANGED);
      if (raw.empty()) {
        ORV_LOG(tag, "## Couldn't decode image file. %s", path.c_str());
        return cv::Mat();
      }
      cv::Mat picture = ToBGRA8(raw);
      if (!keepAlpha) {
        const cv::Mat opaque(picture.size(), CV_8UC1, cv::Scalar(255));
        const int toAlpha[] = {0, 3};
        cv::mixChannels(&opaque, 1, &picture, 1, toAlpha, 1);
      }
      return picture;
    }
    cv::Mat raw = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (raw.empty()) {
      ORV_LOG(tag, "## Couldn't decode image file. %s", path.c_str());
      return cv::Mat();
    }
    if (kind == FileKind::PngPlain) return ToBGRA8(raw);
    const bool hasAlpha = raw.channels() == 2 || raw.channels() == 4;
    cv::Mat shown = cv::imread(path, cv::IMREAD_COLOR);
    cv::Mat picture;
    if (!hasAlpha && !shown.empty()) {
      picture = ToBGRA8(shown);
    } else {
      picture = ToBGRA8(raw);
      if (!shown.empty()) picture = OrientLike(picture, shown);
    }
    return picture;
  } catch (const std::exception& e) {
    ORV_LOG(tag, "## Couldn't decode image file. %s (%s)", path.c_str(), ErrorText(e).c_str());
    if (IsOutOfMemory(e)) throw;
  }
  return cv::Mat();
}

void OrvColorUtils::ResizeToFrame(cv::Mat& picture) {
  if (picture.empty()) return;
  if (picture.cols != kFrameWidth || picture.rows != kFrameHeight) {
    cv::resize(picture, picture, cv::Size(kFrameWidth, kFrameHeight), 0, 0, cv::INTER_LINEAR);
  }
}

cv::Mat OrvColorUtils::BlackFrame() {
  return cv::Mat(kFrameHeight, kFrameWidth, CV_8UC4, cv::Scalar(0, 0, 0, 255));
}

bool OrvColorUtils::WriteImageFile(const std::string& path, const cv::Mat& picture, const char* tag) {
  if (path.empty() || picture.empty()) {
    ORV_LOG(tag, "## Couldn't write image file. %s", path.c_str());
    return false;
  }
  // Encoded in memory, then written through a new file: a link planted at
  // the name is replaced, never written through.
  std::vector<uchar> bytes;
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  try {
    if (!cv::imencode(hasExtension ? path.substr(dot) : ".png", picture, bytes)) bytes.clear();
  } catch (const std::exception& e) {
    ORV_LOG(tag, "## Couldn't write image file. %s (%s)", path.c_str(), ErrorText(e).c_str());
    return false;
  }
  if (bytes.empty() || !platform::WriteNewFile(path, bytes.data(), bytes.size())) {
    ORV_LOG(tag, "## Couldn't write image file. %s", path.c_str());
    return false;
  }
  return true;
}

std::string OrvColorUtils::RgbaText(const cv::Mat& colour, int alpha) {
  cv::Vec3b c(0, 0, 0);
  if (!colour.empty() && colour.type() == CV_8UC3) c = colour.at<cv::Vec3b>(0, 0);
  char text[64];
  std::snprintf(text, sizeof(text), "rgba(%d, %d, %d, %d)", c[2], c[1], c[0], alpha);
  return text;
}

void OrvColorUtils::BlendDesignArt(const ThemeLayerTable& table, int designIndex, const PickedColors& colours,
                                   cv::Mat& canvas, const char* tag, ArtLog messages) {
  if (designIndex < 0 || designIndex >= kThemeDesigns) {
    ORV_LOG(tag, "## No separator design %d", designIndex + 1);
    return;
  }
  const int count = std::min<int>(std::max<int>(table.counts[designIndex], 0), kThemeLayersPerDesign);
  for (int j = 0; j < count; ++j) {
    const LayerContext& layer = table.layers[designIndex][j];
    std::u16string source(layer.layerSource, platform::WideLength(layer.layerSource, REELKA_PATH_LEN));
    std::string path = GetReadablePath(source.c_str());
    if (messages == ArtLog::Composing) ORV_LOG(tag, "   (Paper) sepSourcePath : %s", path.c_str());
    if (path.empty() || !IS_EXIST_FILE(path)) {
      if (messages == ArtLog::Filling) {
        ORV_LOG(tag, "## Couldn't read separator file. %s", path.c_str());
      } else {
        ORV_LOG(tag, "## Couldn't read separator image file. %s", path.c_str());
      }
      continue;
    }
    cv::Mat art = ReadPicture(path, true, tag);
    if (art.empty()) continue;
    const char code = table.codes[designIndex][j];
    if (code == 'A') {
      if (messages == ArtLog::Filling) ORV_LOG(tag, " [%d]Separator color pick code : A ", j);
      FillColor(colours.colour1, art);
    } else if (code == 'B') {
      if (messages == ArtLog::Filling) ORV_LOG(tag, " [%d]Separator color pick code : B ", j);
      FillColor(colours.colour2, art);
    }
    BlendImage(art, canvas, 0, 0, kFrameWidth, kFrameHeight);
  }
}

std::string OrvColorUtils::ErrorText(const std::exception& e) {
  const auto* cvError = dynamic_cast<const cv::Exception*>(&e);
  std::string text = cvError ? cvError->err : std::string(e.what());
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}
