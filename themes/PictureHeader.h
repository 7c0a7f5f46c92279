// The size a picture file declares, read from its header without decoding,
// and the pixel limit every picture read keeps to.
#pragma once

#include <cstdint>
#include <string>

// Pictures declaring more pixels are read smaller (JPEG) or refused.
constexpr int64_t kMaxPicturePixels = 50000000;

struct PictureHeader {
  bool known = false;        // a JPEG, PNG, BMP, TIFF, WebP or PNM header was read
  bool jpeg = false;
  bool floatSamples = false;  // TIFF of floating-point or 32-bit samples
  int64_t width = 0;
  int64_t height = 0;
};

// Reads the header of the file at path; known is false for other formats,
// short or damaged headers and files that do not open.
PictureHeader ReadPictureHeader(const std::string& path);

// The factor a picture of width x height is read smaller by to keep within
// kMaxPicturePixels: 1 within the limit, 2, 4 or 8 for a JPEG (its decoder
// scales while decoding), 0 when the picture is refused.
int PictureReduction(int64_t width, int64_t height, bool jpeg);
