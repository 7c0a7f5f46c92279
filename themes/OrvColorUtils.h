// Pixel work of slot composition: colour picking, painting, alpha blending,
// and the one reading policy for every picture a slot is composed from.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "reelka/reelka.h"
#include "themes/ThemeTypes.h"
#include "videoengine/VideoEngine.h"

class OrvFXFrameHandler;

// Two theme colours picked from a picture (1 x 1, CV_8UC3, B G R each).
struct PickedColors {
  cv::Mat colour1;
  cv::Mat colour2;
  int32_t style = 0;
};

// A global super-frame index resolved over the summarised-video list.
struct SummaryLocation {
  std::string videoName;
  SuperFrame* block = nullptr;  // not owned; null when nothing was found
};

// Where a global block index lies: video number and index inside it (-1, -1 for none).
struct BlockPosition {
  int video = -1;
  int position = -1;
};

class OrvColorUtils {
 public:
  static constexpr int kFrameWidth = 1920;
  static constexpr int kFrameHeight = 1080;

  // targetType 1: the picture slot targetIndex shows; 2: the first frame of
  // block targetIndex - 1. slotCount bounds targetIndex for type 1.
  static void PickColorFromTarget(const SlotContext* slots, std::vector<SummarizedVideo>* summarizedList,
                                  int targetType, int targetIndex, PickedColors* out,
                                  int slotCount = REELKA_MAX_SLOTS);
  static SummaryLocation GetSummaryLocation(std::vector<SummarizedVideo>* summarizedList, int index);
  static void PickColorFromVideo(OrvFXFrameHandler* reader, SuperFrame*& block, PickedColors* out);
  static void PickColorFromImage(PickedColors* out, std::string path);
  static void PickDominantColor(cv::Mat picture, PickedColors* out);
  static void FillColor(cv::Mat colour, cv::Mat& image);
  static void BlendImage(cv::Mat& overlay, cv::Mat& canvas, int x, int y, int width, int height);
  static int ParseTrailingNumber(const char* text);
  static std::vector<std::string> SplitByDelimiters(std::string text, std::string delimiters);

  // The style's grey result: what a pick gives for an all-grey picture.
  // Used as the starting value of every pick, so a failed pick stays usable.
  static void SetGreyColors(PickedColors* out, int style);

  // The walk over the blocks of every video, without logging. Indices past
  // the last block wrap; a negative index, a null list or a list without
  // blocks give an empty location.
  static BlockPosition FindBlockPosition(const std::vector<SummarizedVideo>* summarizedList, int index);
  static SummaryLocation FindSummaryBlock(const std::vector<SummarizedVideo>* summarizedList, int index);

  // Reads a picture as 8-bit B G R A whatever its depth and channels, with
  // its EXIF orientation applied. keepAlpha false makes every pixel opaque.
  // Empty on failure (missing, undecodable, decoder exception), logged under tag.
  static cv::Mat ReadPicture(const std::string& path, bool keepAlpha, const char* tag);
  // Converts any picture to 8-bit B G R A (grey, grey + alpha, 16-bit, float).
  static cv::Mat ToBGRA8(const cv::Mat& picture);
  // Converts any picture to 8-bit B G R.
  static cv::Mat ToBGR8(const cv::Mat& picture);
  // Brings a picture to the slot frame size (bilinear) when it has another size.
  static void ResizeToFrame(cv::Mat& picture);
  // An opaque black slot picture.
  static cv::Mat BlackFrame();

  // Seeks the cached reader of videoName to the block's start and reads one frame.
  static bool ReadBlockFrame(const std::string& videoName, const SuperFrame* block, cv::Mat& frame,
                             const char* tag);

  // Writes a picture through a temporary sibling and a rename, so the file is
  // either the earlier one or the complete new one. Logged under tag.
  static bool WriteImageFile(const std::string& path, const cv::Mat& picture, const char* tag);

  // Blends the image layers of design designIndex (0-based) onto canvas in
  // table order: 'A' layers painted in colour 1, 'B' in colour 2, others as
  // stored. Missing or unreadable art is logged and left out.
  enum class ArtLog { Filling, Composing };
  static void BlendDesignArt(const ThemeLayerTable& table, int designIndex, const PickedColors& colours,
                             cv::Mat& canvas, const char* tag, ArtLog messages);

  // One-line text of an exception (OpenCV's short description when it is one).
  static std::string ErrorText(const std::exception& e);
  // An allocation that failed: std::bad_alloc or OpenCV's out-of-memory
  // error. Catchers that go on without the result pass these on, so that
  // a scene short of memory fails its pass.
  static bool IsOutOfMemory(const std::exception& e) {
    const auto* cvError = dynamic_cast<const cv::Exception*>(&e);
    return dynamic_cast<const std::bad_alloc*>(&e) != nullptr || (cvError && cvError->code == cv::Error::StsNoMem);
  }

  // "rgba(R, G, B, alpha)" of a B G R colour.
  static std::string RgbaText(const cv::Mat& colour, int alpha);
};
