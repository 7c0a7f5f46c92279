// Reading user pictures: one policy for orientation, depth and channels,
// and no failure that escapes.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <fstream>

#include "test_slot_util.h"
#include "themes/PictureHeader.h"

using namespace slottest;

namespace {

uint32_t Crc32(const uchar* data, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

void PutBE32(std::vector<uchar>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uchar>(v >> s));
}

// A little-endian TIFF block holding only the orientation tag.
std::vector<uchar> ExifOrientation(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, static_cast<uchar>(orientation), 0, 0, 0,
          0, 0, 0, 0};
}

void WriteBytes(const std::string& path, const std::vector<uchar>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string JpegWithOrientation(const std::string& path, const cv::Mat& bgr, int orientation) {
  std::vector<uchar> jpg;
  cv::imencode(".jpg", bgr, jpg, {cv::IMWRITE_JPEG_QUALITY, 100});
  std::vector<uchar> app = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  std::vector<uchar> tiff = ExifOrientation(orientation);
  app.insert(app.end(), tiff.begin(), tiff.end());
  const size_t length = app.size() - 2;
  app[2] = static_cast<uchar>(length >> 8);
  app[3] = static_cast<uchar>(length & 0xFF);
  jpg.insert(jpg.begin() + 2, app.begin(), app.end());
  WriteBytes(path, jpg);
  return path;
}

std::string PngWithOrientation(const std::string& path, const cv::Mat& bgra, int orientation) {
  std::vector<uchar> png;
  cv::imencode(".png", bgra, png);
  std::vector<uchar> body = {'e', 'X', 'I', 'f'};
  std::vector<uchar> tiff = ExifOrientation(orientation);
  body.insert(body.end(), tiff.begin(), tiff.end());
  std::vector<uchar> chunk;
  PutBE32(chunk, static_cast<uint32_t>(tiff.size()));
  chunk.insert(chunk.end(), body.begin(), body.end());
  PutBE32(chunk, Crc32(body.data(), body.size()));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // after the header chunk
  WriteBytes(path, png);
  return path;
}

// A PNG whose header claims width x height but holds the data of 8 x 8.
std::string PngClaiming(const std::string& path, uint32_t width, uint32_t height) {
  std::vector<uchar> png;
  cv::imencode(".png", Solid(8, 8, cv::Scalar(1, 2, 3)), png);
  std::vector<uchar> size;
  PutBE32(size, width);
  PutBE32(size, height);
  std::copy(size.begin(), size.end(), png.begin() + 16);
  std::vector<uchar> crc;
  PutBE32(crc, Crc32(png.data() + 12, 17));
  std::copy(crc.begin(), crc.end(), png.begin() + 29);
  WriteBytes(path, png);
  return path;
}

void PutChunk(std::vector<uchar>& png, const char* type, const std::vector<uchar>& data) {
  PutBE32(png, static_cast<uint32_t>(data.size()));
  std::vector<uchar> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  PutBE32(png, Crc32(body.data(), body.size()));
}

// A 4 x 2 palette PNG (index 0 opaque red, index 1 half-transparent blue),
// its data in one stored deflate block.
std::string PalettePng(const std::string& path) {
  std::vector<uchar> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uchar> ihdr;
  PutBE32(ihdr, 4);
  PutBE32(ihdr, 2);
  ihdr.insert(ihdr.end(), {8, 3, 0, 0, 0});
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "PLTE", {255, 0, 0, 0, 0, 255});
  PutChunk(png, "tRNS", {255, 128});
  const std::vector<uchar> raw = {0, 0, 1, 0, 1, 0, 1, 1, 0, 0};  // filter byte + 4 indices per row
  std::vector<uchar> z = {0x78, 0x01, 0x01, static_cast<uchar>(raw.size()), 0, static_cast<uchar>(~raw.size()), 0xFF};
  z.insert(z.end(), raw.begin(), raw.end());
  uint32_t a = 1, b = 0;
  for (uchar c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBE32(z, (b << 16) | a);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  WriteBytes(path, png);
  return path;
}

// A picture whose quadrants tell any rotation or flip apart.
cv::Mat Quadrants(int w, int h) {
  cv::Mat m(h, w, CV_8UC3, cv::Scalar(0, 0, 255));
  m(cv::Rect(w / 2, 0, w - w / 2, h / 2)).setTo(cv::Scalar(0, 255, 0));
  m(cv::Rect(0, h / 2, w / 2, h - h / 2)).setTo(cv::Scalar(255, 0, 0));
  m(cv::Rect(w / 2, h / 2, w - w / 2, h - h / 2)).setTo(cv::Scalar(255, 255, 255));
  return m;
}

}  // namespace

TEST(ColorRead, DepthsAndChannelsBecomeEightBitBgra) {
  testutil::TempRun run;
  const std::string dir = run.root + "/";
  struct Case {
    std::string name;
    cv::Mat picture;
    cv::Vec4b expect;
  } cases[] = {
      {"grey.png", cv::Mat(6, 4, CV_8UC1, cv::Scalar(90)), cv::Vec4b(90, 90, 90, 255)},
      {"grey16.png", cv::Mat(6, 4, CV_16UC1, cv::Scalar(257 * 40)), cv::Vec4b(40, 40, 40, 255)},
      {"colour16.png", cv::Mat(6, 4, CV_16UC3, cv::Scalar(257 * 10, 257 * 20, 257 * 30)), cv::Vec4b(10, 20, 30, 255)},
      {"alpha16.png", cv::Mat(6, 4, CV_16UC4, cv::Scalar(257 * 10, 257 * 20, 257 * 30, 257 * 5)),
       cv::Vec4b(10, 20, 30, 5)},
      {"bgra.png", cv::Mat(6, 4, CV_8UC4, cv::Scalar(1, 2, 3, 4)), cv::Vec4b(1, 2, 3, 4)},
      {"bgr.bmp", cv::Mat(6, 4, CV_8UC3, cv::Scalar(7, 8, 9)), cv::Vec4b(7, 8, 9, 255)},
  };
  for (const Case& c : cases) {
    std::string path = WriteImage(dir + c.name, c.picture);
    cv::Mat kept = OrvColorUtils::ReadPicture(path, true, "test");
    ASSERT_EQ(kept.type(), CV_8UC4) << c.name;
    EXPECT_EQ(kept.size(), cv::Size(4, 6)) << c.name;
    EXPECT_EQ(kept.at<cv::Vec4b>(5, 3), c.expect) << c.name;
    cv::Mat opaque = OrvColorUtils::ReadPicture(path, false, "test");
    ASSERT_EQ(opaque.type(), CV_8UC4) << c.name;
    EXPECT_EQ(opaque.at<cv::Vec4b>(0, 0)[3], 255) << c.name;
  }
  // Grey with alpha keeps its alpha.
  cv::Mat ga(3, 3, CV_8UC4, cv::Scalar(60, 60, 60, 33));
  std::string path = WriteImage(dir + "ga.png", ga);
  cv::Mat read = OrvColorUtils::ReadPicture(path, true, "test");
  EXPECT_EQ(read.at<cv::Vec4b>(1, 1), cv::Vec4b(60, 60, 60, 33));
}

TEST(ColorRead, PalettePicturesKeepTheirTransparency) {
  testutil::TempRun run;
  std::string path = PalettePng(run.root + "/palette.png");
  cv::Mat kept = OrvColorUtils::ReadPicture(path, true, "test");
  ASSERT_EQ(kept.type(), CV_8UC4);
  ASSERT_EQ(kept.size(), cv::Size(4, 2));
  EXPECT_EQ(kept.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 255, 255));
  EXPECT_EQ(kept.at<cv::Vec4b>(0, 1), cv::Vec4b(255, 0, 0, 128));
  EXPECT_EQ(kept.at<cv::Vec4b>(1, 3), cv::Vec4b(0, 0, 255, 255));
  cv::Mat opaque = OrvColorUtils::ReadPicture(path, false, "test");
  EXPECT_EQ(opaque.at<cv::Vec4b>(0, 1), cv::Vec4b(255, 0, 0, 255));
}

TEST(ColorRead, ExifOrientationAppliesWithAndWithoutAlpha) {
  testutil::TempRun run;
  const cv::Mat upright = Quadrants(40, 20);
  for (int orientation : {3, 6, 8}) {
    // What a colour read shows is the reference: rotated as the EXIF says.
    std::string jpg = JpegWithOrientation(run.root + "/o" + std::to_string(orientation) + ".jpg", upright, orientation);
    cv::Mat shown = cv::imread(jpg, cv::IMREAD_COLOR);
    for (bool keepAlpha : {false, true}) {
      cv::Mat read = OrvColorUtils::ReadPicture(jpg, keepAlpha, "test");
      ASSERT_EQ(read.size(), shown.size()) << orientation;
      cv::Mat bgr;
      cv::cvtColor(read, bgr, cv::COLOR_BGRA2BGR);
      EXPECT_EQ(cv::norm(bgr, shown, cv::NORM_INF), 0.0) << orientation;
    }
    if (orientation != 3) {
      EXPECT_EQ(shown.size(), cv::Size(20, 40));
    }

    // A PNG with alpha: the alpha follows the same orientation.
    cv::Mat bgra;
    cv::cvtColor(upright, bgra, cv::COLOR_BGR2BGRA);
    bgra(cv::Rect(0, 0, 20, 10)).setTo(cv::Scalar(0, 0, 255, 100));
    std::string png = PngWithOrientation(run.root + "/o" + std::to_string(orientation) + ".png", bgra, orientation);
    cv::Mat opaque = OrvColorUtils::ReadPicture(png, false, "test");
    cv::Mat withAlpha = OrvColorUtils::ReadPicture(png, true, "test");
    ASSERT_EQ(withAlpha.size(), opaque.size());
    cv::Mat c1, c2;
    cv::cvtColor(opaque, c1, cv::COLOR_BGRA2BGR);
    cv::cvtColor(withAlpha, c2, cv::COLOR_BGRA2BGR);
    EXPECT_EQ(cv::norm(c1, c2, cv::NORM_INF), 0.0) << orientation;
    // The translucent red corner sits where the red quadrant went.
    cv::Mat alpha;
    cv::extractChannel(withAlpha, alpha, 3);
    cv::Mat redMask;
    cv::inRange(c2, cv::Scalar(0, 0, 250), cv::Scalar(5, 5, 255), redMask);
    cv::Mat translucent = alpha == 100;
    EXPECT_EQ(cv::countNonZero(redMask != translucent), 0) << orientation;
  }
}

TEST(ColorRead, BadFilesGiveEmptyPicturesAndOneLogLine) {
  testutil::TempRun run;
  InitLog(run.WorkWide());
  const std::string dir = run.root + "/";
  std::string empty = dir + "empty.png";
  std::ofstream(empty).close();
  std::string good = WriteImage(dir + "good.png", Solid(64, 64, cv::Scalar(1, 2, 3)));
  std::string truncated = dir + "truncated.png";
  {
    std::string bytes = testutil::ReadFile(good);
    std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  std::string truncatedJpg = dir + "truncated.jpg";
  {
    std::vector<uchar> jpg;
    cv::imencode(".jpg", Quadrants(300, 200), jpg);
    jpg.resize(jpg.size() / 3);
    WriteBytes(truncatedJpg, jpg);
  }
  std::string huge = PngClaiming(dir + "huge.png", 20000, 20000);
  std::string wide = PngClaiming(dir + "wide.png", 999999, 1100);
  std::string text = dir + "text.jpg";
  std::ofstream(text) << "hello";

  for (const std::string& path : {empty, truncated, huge, wide, text, dir, dir + "missing.png", std::string()}) {
    for (bool keepAlpha : {false, true}) {
      cv::Mat m;
      EXPECT_NO_THROW(m = OrvColorUtils::ReadPicture(path, keepAlpha, "ReadTest"));
      EXPECT_TRUE(m.empty()) << path;
    }
  }
  // A truncated JPEG decodes what it can or nothing; either way no throw.
  EXPECT_NO_THROW(OrvColorUtils::ReadPicture(truncatedJpg, true, "ReadTest"));
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOf(log, "## Couldn't decode image file. " + huge), 2);
  EXPECT_EQ(CountOf(log, "## Couldn't decode image file. " + wide), 2);
  // The decoder's exception becomes one line of its own.
  size_t at = log.find("## Couldn't decode image file. " + wide + " (");
  ASSERT_NE(at, std::string::npos);
  size_t end = log.find('\n', at);
  EXPECT_EQ(log[end - 1], ')');
  EXPECT_EQ(log.compare(end + 1, 1, "["), 0);
  EXPECT_EQ(CountOf(log, "## Couldn't read image file, empty path"), 2);
}

namespace {

std::vector<uchar> Encode(const char* ext, const cv::Mat& m, const std::vector<int>& params = {}) {
  std::vector<uchar> bytes;
  cv::imencode(ext, m, bytes, params);
  return bytes;
}

// The bytes of a literal, embedded NULs included.
template <size_t N>
std::vector<uchar> Bytes(const char (&text)[N]) {
  return std::vector<uchar>(text, text + N - 1);
}

}  // namespace

TEST(PictureHeader, DeclaredSizesOfEveryCheckedFormat) {
  testutil::TempRun run;
  const cv::Mat m = Quadrants(40, 24);
  std::vector<uchar> topDownBmp = Encode(".bmp", m);
  topDownBmp[22] = static_cast<uchar>(-24);  // negative height: rows stored top first
  std::fill(topDownBmp.begin() + 23, topDownBmp.begin() + 26, 0xFF);
  // Big-endian TIFF: width a SHORT, height a LONG, 3 x 8 bits stored apart.
  const std::vector<uchar> tiff = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 3,     // header, three entries
                                   1, 0, 0, 3, 0, 0, 0, 1, 2, 128, 0, 0,  // 256: 640
                                   1, 1, 0, 4, 0, 0, 0, 1, 0, 1, 17, 112, // 257: 70000
                                   1, 2, 0, 3, 0, 0, 0, 3, 0, 0, 0, 50,   // 258: at 50
                                   0, 0, 0, 0, 0, 8, 0, 8, 0, 8};
  std::vector<uchar> extendedWebp = Bytes("RIFF\x1e\0\0\0WEBPVP8X\n\0\0\0\0\0\0\0");
  extendedWebp.insert(extendedWebp.end(), {0x1F, 0x4E, 0, 0x0F, 0x27, 0});  // 20000 x 10000
  const struct {
    const char* name;
    std::vector<uchar> bytes;
    int64_t width, height;
    bool jpeg;
  } cases[] = {
      {"progressive.jpg", Encode(".jpg", m, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}), 40, 24, true},
      {"top-down.bmp", topDownBmp, 40, 24, false},
      {"big-endian.tif", tiff, 640, 70000, false},
      {"lossy.webp", Encode(".webp", m, {cv::IMWRITE_WEBP_QUALITY, 80}), 40, 24, false},
      {"extended.webp", extendedWebp, 20000, 10000, false},
      {"comment.ppm", Bytes("P6\n# by hand\n640 480\n255\n"), 640, 480, false},
      {"no-frame.jpg", {0xFF, 0xD8, 0xFF, 0xD9}, 0, 0, false},
      {"other.gif", Bytes("GIF89a\1\0\1\0"), 0, 0, false},
  };
  for (const auto& c : cases) {
    WriteBytes(run.root + "/" + c.name, c.bytes);
    const PictureHeader h = ReadPictureHeader(run.root + "/" + c.name);
    EXPECT_EQ(h.known, c.width > 0) << c.name;
    EXPECT_EQ(h.jpeg, c.jpeg) << c.name;
    EXPECT_EQ(h.width, c.width) << c.name;
    EXPECT_EQ(h.height, c.height) << c.name;
  }
  // An EXIF segment before the frame header, an IHDR claiming 20000 x 20000.
  EXPECT_EQ(ReadPictureHeader(JpegWithOrientation(run.root + "/exif.jpg", m, 6)).width, 40);
  EXPECT_EQ(ReadPictureHeader(PngClaiming(run.root + "/claims.png", 20000, 20000)).height, 20000);

  // Within the limit a picture is read whole; a JPEG shrinks while it is
  // decoded (sides rounded up), anything else is refused.
  const struct {
    int64_t width, height;
    bool jpeg;
    int factor;
  } reductions[] = {{8000, 6250, true, 1},   {8000, 6251, true, 2},   {8000, 6251, false, 0},
                    {20000, 20000, true, 4}, {32768, 32768, true, 8}, {65535, 65535, true, 0},
                    {4294967295, 4294967295, false, 0}};
  for (const auto& r : reductions)
    EXPECT_EQ(PictureReduction(r.width, r.height, r.jpeg), r.factor) << r.width << " x " << r.height;
}

TEST(PictureHeader, APictureBombIsReadSmallForEveryUse) {
  testutil::TempRun run;
  InitLog(run.WorkWide());
  // A 64 x 64 JPEG of noise whose frame header claims 32768 x 32768.
  cv::Mat noise(64, 64, CV_8UC3);
  cv::randu(noise, 0, 255);
  std::vector<uchar> jpg = Encode(".jpg", noise, {cv::IMWRITE_JPEG_QUALITY, 30});
  const uchar frameMarker[] = {0xFF, 0xC0}, claimed[] = {0x80, 0, 0x80, 0};
  const auto frame = std::search(jpg.begin(), jpg.end(), frameMarker, frameMarker + 2);
  ASSERT_LT(frame + 9, jpg.end());
  std::copy(claimed, claimed + 4, frame + 5);
  const std::string bomb = run.root + "/bomb.jpg";
  WriteBytes(bomb, jpg);
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  const long peakBefore = usage.ru_maxrss;
  for (bool keepAlpha : {false, true}) EXPECT_EQ(OrvColorUtils::ReadPicture(bomb, keepAlpha, "t").cols, 4096);
  PickedColors colours;
  OrvColorUtils::SetGreyColors(&colours, 6);
  OrvColorUtils::PickColorFromImage(&colours, bomb);  // colour picks read through the same policy
  EXPECT_EQ(CountOf(testutil::ReadLog(), "is over the limit of 50000000 pixels, read at 1/8 size. " + bomb), 3);
  // Decoded whole it would take 3 GB; at 1/8 some dozens of MB.
  ::getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss - peakBefore, 1L << 20) << "kB";
}

TEST(PictureHeader, FloatTiffsReadTheSameForEveryUse) {
  testutil::TempRun run;
  // Samples in 0..1 become 0..255 (colour is written as lossy LogLuv).
  const struct {
    int type;
    cv::Vec4b expect;
  } cases[] = {{CV_32FC3, {64, 128, 191, 255}}, {CV_32FC1, {64, 64, 64, 255}}, {CV_32FC4, {64, 128, 191, 128}}};
  for (const auto& c : cases) {
    const std::string path = run.root + "/f" + std::to_string(c.type) + ".tif";
    ASSERT_TRUE(cv::imwrite(path, cv::Mat(20, 30, c.type, cv::Scalar(0.25, 0.5, 0.75, 0.5))));
    EXPECT_TRUE(ReadPictureHeader(path).floatSamples);
    const cv::Mat kept = OrvColorUtils::ReadPicture(path, true, "test");
    const cv::Mat opaque = OrvColorUtils::ReadPicture(path, false, "test");
    ASSERT_FALSE(kept.empty() || opaque.empty()) << path;
    const cv::Vec4b k = kept.at<cv::Vec4b>(10, 10), o = opaque.at<cv::Vec4b>(10, 10);
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(k[ch], c.expect[ch], 4) << path << " channel " << ch;
      EXPECT_EQ(o[ch], k[ch]) << path << " channel " << ch;
    }
    EXPECT_EQ(k[3], c.expect[3]) << path;
    EXPECT_EQ(o[3], 255) << path;
  }
  cv::imwrite(run.root + "/u16.tif", cv::Mat(5, 7, CV_16UC3, cv::Scalar::all(9)));
  EXPECT_FALSE(ReadPictureHeader(run.root + "/u16.tif").floatSamples);
}
